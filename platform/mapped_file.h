// mapped_file.h - file-backed memory and free disk space, for system/mapped_buffer.cpp, and the
// large pages that the ordered map's big node slabs ask for.
//
// The record's fields hold the system's objects: on Windows the file and file-mapping handles;
// on POSIX the file descriptor (cast to a pointer, always above 2) in file and a null mapping.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kavutil.h"

namespace kav::platform {

// The calling thread's identifier, as the system numbers threads.
unsigned long current_thread_id();

// Creates the buffer's backing file: a new temporary file in directory (null: none) whose name
// begins with prefix.  Its full name goes into buffer.file_name, its handle into buffer.file.
// False on failure; buffer.file_name then is empty or names what the caller is to delete.
bool create_backing_file(MappedBuffer& buffer, const char* directory, const char* prefix);

// Gives the file buffer.size bytes and maps them for reading and writing at buffer.view.
bool map_backing_file(MappedBuffer& buffer);

// Unmaps the view, closes the mapping and the file: those of them that are set, in this order.
void close_backing_file(MappedBuffer& buffer);

// The free space, in units of 1048576 bytes, of the disk that holds path (not null, not
// empty); 0xFFFFFFFF when the system cannot tell.
uint32_t free_megabytes(const char* path);

// The size of the system's large pages where a program may ask for them without privileges
// (transparent huge pages on 64-bit x86 Linux), else 0.
#if defined(__linux__) && defined(__x86_64__)
inline constexpr std::size_t kLargePageSize = std::size_t{2} << 20;
#else
inline constexpr std::size_t kLargePageSize = 0;
#endif

// Asks the system to back the memory at block (kLargePageSize bytes, aligned to them) with one
// large page; a hint, whose failure changes nothing.
void advise_large_page(void* block);

}  // namespace kav::platform
