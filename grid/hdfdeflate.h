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

#include "fieldinflate.h"

#include <zlib.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

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

// Streams handed to HDF4 again instead of compressing their data anew. While an object lives,
// an HDF4 stream whose input arrives in one piece and is, byte for byte, the data of one of its
// streams (the same size, CRC-32 and Adler-32, the checksum the stream ends with) is answered
// with that stream: a field carried unchanged from one grid file into another, or compressed
// ahead on another thread, costs no compression. The stream is kept as it is, whatever level made
// it (the level the file records is the one HDF4 asked). zlib's calls carry nothing of their
// caller, so the object is registered for the process while it lives; one at a time: an object
// made while another lives stays unregistered and reuses nothing. It must outlive the writes that
// use it (HDF4's streams point into its streams until they end).
class StreamReuse {
  public:
    StreamReuse();
    ~StreamReuse();
    StreamReuse(const StreamReuse &) = delete;
    StreamReuse &operator=(const StreamReuse &) = delete;

    bool registered() const { return registered_; }
    // A finished stream; one without data (a field not decoded by libdeflate) is ignored.
    void add(KeptStream stream);
    // A stream that another thread is still making, of data of `decodedBytes` bytes with the
    // CRC-32 `crc32` and Adler-32 `adler32`: a stream of that data waits for it. The maker hands
    // it over with fulfil(), always: an empty stream lets the waiting write compress the data.
    size_t reserve(uint64_t decodedBytes, uint32_t crc32, uint32_t adler32);
    void fulfil(size_t reservation, KeptStream stream);
    // The stream whose data is `bytes` (waiting for it while it is made), or null.
    const KeptStream *find(const unsigned char *bytes, size_t count) const;

  private:
    struct Entry {
        KeptStream stream;
        uint32_t adler32 = 0;
        bool ready = false;
    };
    bool registered_ = false;
    mutable std::mutex mutex_;
    mutable std::condition_variable made_;
    std::deque<Entry> entries_; // a deque: entries stay where they are while others are added
};

// The stream HDF4's compression of `count` bytes at `bytes` at zlib level `level` makes here
// (libdeflate at the same level; -1 as 6), for compressing a field ahead of its write; an empty
// stream when memory runs out or the level is not one of zlib's.
KeptStream compressLikeHdf(const void *bytes, size_t count, int level);

// Since the start of the process: HDF4 streams compressed by libdeflate, those answered with a
// registered stream, zlib calls of other callers handed on to zlib, and the most HDF4 streams open
// at one time (each holds its field's compressed bytes). For the tests, which check that every
// path is taken and that a writer holds one field's stream at a time.
struct DeflateCounts {
    uint64_t hdfStreams = 0;
    uint64_t reusedStreams = 0;
    uint64_t zlibCalls = 0;
    uint64_t mostOpenHdfStreams = 0;
};
DeflateCounts deflateCounts();

} // namespace veg::grid
