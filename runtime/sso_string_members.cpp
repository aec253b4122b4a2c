// The members of std::string that the prebuilt standard exception classes call besides those of the
// old ABI's string (see cow_string_members.cpp): the exception classes' copy of their message goes
// through them. Instantiated here so that the linker takes them from this file, compiled for the
// project's processor, instead of the prebuilt instantiation of the whole class.
#include <string>

template char* std::string::_M_create(size_type&, size_type);
template void std::string::_M_assign(const std::string&);
