# The warning flags every target of ours is built with: all warnings, as errors, on both toolchains.
add_library(mxv_warnings INTERFACE)
target_compile_options(mxv_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Werror)
