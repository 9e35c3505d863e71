// How much of a drive a set of files takes: whole clusters, not bytes.
#ifndef QUILLPACK_RECORDS_SPACE_ESTIMATE_H
#define QUILLPACK_RECORDS_SPACE_ESTIMATE_H

#include "core/string.h"

// Each size rounded up to a whole number of clusters (unchanged when the
// cluster size is 1 or less, i.e. unknown), summed in 64 bits so that large
// payloads neither wrap nor stop at the 32-bit limit. Negative sizes count
// as nothing.
int64 SpaceOnDisk(const int32* sizes, int32 count, int32 clusterSize);

#endif  // QUILLPACK_RECORDS_SPACE_ESTIMATE_H
