// Deflated grid fields compressed by libdeflate instead of zlib, with the same files as a result
// (target veg_hdfdeflate, linked by every program that writes grid files).
// HDF4 compresses a field through zlib's stream calls (deflateInit_, deflate with Z_NO_FLUSH while
// the field's bytes arrive, deflate with Z_FINISH, deflateEnd). Every program that links this
// object defines those three calls itself: a stream opened by HDF4's library is compressed whole
// by libdeflate into one zlib stream, which zlib, HDF4 and GDAL decode to the same bytes; a stream
// opened by anyone else in the process (GDAL, libtiff, libpng) is handed to zlib unchanged, so
// their output stays byte for byte what zlib makes. With VEG_HDF_DEFLATE=zlib in the environment
// HDF4's streams go to zlib too.
#pragma once

#include <zlib.h>

#include <cstdint>

namespace veg::grid {

// The calls on a stream opened by HDF4, with zlib's results: hdfStreamInit as deflateInit_ (level
// 0..9 or -1 for zlib's default 6, compressed at the same libdeflate level), hdfStreamDeflate as
// deflate with Z_NO_FLUSH or Z_FINISH (other flushes are refused with Z_STREAM_ERROR), hdfStreamEnd
// as deflateEnd. The input is compressed whole at the end (or as it arrives, when it arrives in one
// piece) and handed out over as many calls as the caller's output space needs. The replacements of
// zlib's calls use them; tests call them directly.
int hdfStreamInit(z_stream *strm, int level);
int hdfStreamDeflate(z_stream *strm, int flush);
int hdfStreamEnd(z_stream *strm);

// Since the start of the process: HDF4 streams compressed by libdeflate, zlib calls of other
// callers handed on to zlib, and the most HDF4 streams open at one time (each holds its field's
// compressed bytes). For the tests, which check that both paths are taken and that a writer
// holds one field's stream at a time.
struct DeflateCounts {
    uint64_t hdfStreams = 0;
    uint64_t zlibCalls = 0;
    uint64_t mostOpenHdfStreams = 0;
};
DeflateCounts deflateCounts();

} // namespace veg::grid
