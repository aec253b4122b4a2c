// The members of the library's reference-counted std::string (the string of the old ABI) that the
// prebuilt standard exception classes call: std::logic_error and std::runtime_error keep their
// message in one. Instantiated here so that the linker takes them from this file, compiled for the
// project's processor, instead of the prebuilt instantiation of the whole class. The file is
// compiled with the old ABI's string (see runtime/CMakeLists.txt).
#include <string>

template std::string::_Rep* std::string::_Rep::_S_create(size_type, size_type,
                                                         const std::allocator<char>&);
template void std::string::_Rep::_M_destroy(const std::allocator<char>&) throw();
template char* std::string::_Rep::_M_clone(const std::allocator<char>&, size_type);
template char* std::string::_S_construct(size_type, char, const std::allocator<char>&);
template void std::string::swap(std::string&);
template std::string& std::string::assign(const std::string&);
template void std::string::_Rep::_M_dispose(const std::allocator<char>&) noexcept;
