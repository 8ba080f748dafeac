// mapped_buffer.cpp - file-backed scratch buffers and free disk space.  Not yet implemented.
#include "kavutil.h"

extern "C" {

KAV_API MappedBuffer* KAV_CALL CreateMappedBuffer(uint32_t) { return nullptr; }

KAV_API void KAV_CALL DeleteMappedBuffer(MappedBuffer*) {}

KAV_API uint32_t KAV_CALL GetDiskFreeSpaceInMB(const char*) { return 0xFFFFFFFFu; }
}
