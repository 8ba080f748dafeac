# 32-bit x86 Linux programs built on an x86-64 Debian with g++-multilib ("make m32"): the same
# compilers with -m32, and i386's multiarch directory for the libraries found at run time.
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
