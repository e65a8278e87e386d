// zlib's deflateInit_, deflate and deflateEnd defined in the program, so that HDF4's compression of
// grid fields runs through libdeflate while every other caller keeps zlib (see hdfdeflate.h).
// A stream is HDF4's when deflateInit_ is called from the library that holds HDF4's deflate
// coder; its later calls are recognised by the stream itself (a marker allocator and our state).
#include "hdfdeflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

std::atomic<uint64_t> hdfStreams{0};
std::atomic<uint64_t> reusedStreams{0};
// The registered StreamReuse, or null.
std::atomic<const veg::grid::StreamReuse *> activeReuse{nullptr};
std::atomic<uint64_t> openHdfStreams{0};
std::atomic<uint64_t> mostOpenHdfStreams{0};
std::atomic<uint64_t> zlibCalls{0};

using InitCall = int (*)(z_streamp, int, const char *, int);
using DeflateCall = int (*)(z_streamp, int);
using EndCall = int (*)(z_streamp);

// zlib's own entry points: the next definitions after the program's in the lookup order.
struct ZlibCalls {
    InitCall init = nullptr;
    DeflateCall run = nullptr;
    EndCall end = nullptr;
};

const ZlibCalls &zlibEntryPoints() {
    static const ZlibCalls calls{reinterpret_cast<InitCall>(dlsym(RTLD_NEXT, "deflateInit_")),
                                 reinterpret_cast<DeflateCall>(dlsym(RTLD_NEXT, "deflate")),
                                 reinterpret_cast<EndCall>(dlsym(RTLD_NEXT, "deflateEnd"))};
    return calls;
}

// The load address of the shared library holding HDF4's deflate coder (the build refuses a static
// HDF4: cmake/RequireSharedHdf4.cmake); null when HDF4's coder is not in the process.
const void *hdfCoderBase() {
    static const void *base = [] {
        Dl_info info{};
        void *coder = dlsym(RTLD_DEFAULT, "HCPcdeflate_write");
        return coder != nullptr && dladdr(coder, &info) != 0 ? info.dli_fbase : nullptr;
    }();
    return base;
}

// VEG_HDF_DEFLATE=zlib leaves HDF4's streams to zlib as well: the slower path, whose files hold
// the same decoded data, for comparing the two.
bool hdfStreamsToZlib() {
    static const bool chosen = [] {
        const char *choice = std::getenv("VEG_HDF_DEFLATE");
        return choice != nullptr && std::strcmp(choice, "zlib") == 0;
    }();
    return chosen;
}

bool calledByHdf(const void *returnAddress) {
    if (hdfStreamsToZlib()) {
        return false;
    }
    Dl_info info{};
    const void *base = hdfCoderBase();
    return base != nullptr && dladdr(returnAddress, &info) != 0 && info.dli_fbase == base;
}

// One HDF4 stream. The first member is never the stream's address, so that a zlib call on this
// stream that is not replaced here would find no zlib state and fail instead of reading ours.
struct HdfStream {
    const void *notZlibState = nullptr;
    int level = 9;
    uint64_t bytesIn = 0;
    bool started = false;  // input taken or finish asked: zlib's busy state
    bool finished = false; // Z_FINISH reached: output complete, handed out in pieces
    // The field's bytes when they came in more than one piece (else empty).
    std::vector<unsigned char> pending;
    // The zlib stream of every byte taken so far: made from the first piece as it arrives (a
    // whole-field write needs no copy of the input), remade at Z_FINISH when more followed. Sized
    // to the compressed bound but left uninitialised, so that only the pages of the compressed
    // bytes become resident.
    std::unique_ptr<unsigned char[]> packed;
    // The stream handed out: packed's bytes, or a registered stream's (StreamReuse).
    const unsigned char *out = nullptr;
    size_t packedSize = 0;
    bool packedCurrent = false;
    size_t handedOut = 0;
};

voidpf markerAlloc(voidpf, uInt, uInt) { return Z_NULL; }
void markerFree(voidpf, voidpf) {}

HdfStream *hdfStreamOf(z_streamp strm) {
    if (strm == Z_NULL || strm->zalloc != markerAlloc || strm->state == Z_NULL) {
        return nullptr;
    }
    return reinterpret_cast<HdfStream *>(strm->state);
}

// The Adler-32 that ends a zlib stream of `size` bytes (at least 6), big-endian.
uint32_t endingChecksum(const unsigned char *stream, size_t size) {
    const unsigned char *tail = stream + size - 4;
    return (uint32_t{tail[0]} << 24) | (uint32_t{tail[1]} << 16) | (uint32_t{tail[2]} << 8) |
           uint32_t{tail[3]};
}

using Compressor = std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)>;

// Compresses `count` bytes whole into s.packed; false when memory runs out.
bool compressWhole(HdfStream &s, const unsigned char *bytes, size_t count) {
    s.packed.reset();
    s.packedSize = 0;
    const Compressor compressor(libdeflate_alloc_compressor(s.level), libdeflate_free_compressor);
    if (!compressor) {
        return false;
    }
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), count);
    s.packed.reset(new (std::nothrow) unsigned char[bound]);
    if (!s.packed) {
        return false;
    }
    // Never 0: the bound always fits.
    s.packedSize = libdeflate_zlib_compress(compressor.get(), bytes, count, s.packed.get(), bound);
    s.out = s.packed.get();
    return s.packedSize != 0;
}

// The first piece of a stream: a registered stream of the same data is handed out as it is, any
// other data compressed.
bool packFirstPiece(HdfStream &s, const unsigned char *bytes, size_t count) {
    const veg::grid::StreamReuse *reuse = activeReuse.load(std::memory_order_acquire);
    const veg::grid::KeptStream *known = reuse != nullptr ? reuse->find(bytes, count) : nullptr;
    if (known == nullptr) {
        return compressWhole(s, bytes, count);
    }
    s.packed.reset();
    s.out = known->stream.data();
    s.packedSize = known->stream.size();
    reusedStreams.fetch_add(1, std::memory_order_relaxed);
    return true;
}

// The bytes taken so far back from the stream made of the first piece.
bool unpackFirstPiece(HdfStream &s) {
    std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> decompressor(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!decompressor) {
        return false;
    }
    s.pending.resize(s.bytesIn);
    const bool ok =
        libdeflate_zlib_decompress(decompressor.get(), s.out, s.packedSize, s.pending.data(),
                                   s.pending.size(), nullptr) == LIBDEFLATE_SUCCESS;
    s.packed.reset();
    s.out = nullptr;
    s.packedSize = 0;
    s.packedCurrent = false;
    return ok;
}

int takeInput(z_streamp strm, HdfStream &s) {
    const size_t count = strm->avail_in;
    if (s.bytesIn == 0) {
        if (!packFirstPiece(s, strm->next_in, count)) {
            return Z_MEM_ERROR;
        }
        s.packedCurrent = true;
    } else {
        if (s.packedCurrent && !unpackFirstPiece(s)) {
            return Z_MEM_ERROR;
        }
        s.pending.insert(s.pending.end(), strm->next_in, strm->next_in + count);
    }
    s.bytesIn += count;
    strm->next_in += count;
    strm->avail_in = 0;
    strm->total_in += count;
    return Z_OK;
}

int deflateStream(z_streamp strm, HdfStream &s, int flush) {
    // zlib's checks of the call, with its results.
    if (flush > Z_BLOCK || flush < 0) {
        return Z_STREAM_ERROR;
    }
    if (strm->next_out == Z_NULL || (strm->avail_in != 0 && strm->next_in == Z_NULL) ||
        (s.finished && flush != Z_FINISH)) {
        return Z_STREAM_ERROR;
    }
    if (strm->avail_out == 0) {
        return Z_BUF_ERROR;
    }
    if (s.finished && strm->avail_in != 0) {
        return Z_BUF_ERROR;
    }
    // Flushes in the middle of a stream are never asked by HDF4; they are refused rather than
    // answered with output that would not hold everything taken so far.
    if (flush != Z_NO_FLUSH && flush != Z_FINISH) {
        return Z_STREAM_ERROR;
    }
    s.started = true;
    if (strm->avail_in != 0) {
        const int status = takeInput(strm, s);
        if (status != Z_OK) {
            return status;
        }
    }
    if (flush != Z_FINISH) {
        return Z_OK;
    }
    if (!s.finished) {
        if (!s.packedCurrent) {
            if (!compressWhole(s, s.pending.data(), s.pending.size())) {
                return Z_MEM_ERROR;
            }
            std::vector<unsigned char>().swap(s.pending);
            s.packedCurrent = true;
        }
        s.finished = true;
        // zlib leaves the checksum of the data in adler; the stream ends with it, big-endian.
        strm->adler = endingChecksum(s.out, s.packedSize);
    }
    const size_t count = std::min<size_t>(strm->avail_out, s.packedSize - s.handedOut);
    std::memcpy(strm->next_out, s.out + s.handedOut, count);
    s.handedOut += count;
    strm->next_out += count;
    strm->avail_out -= static_cast<uInt>(count);
    strm->total_out += count;
    return s.handedOut == s.packedSize ? Z_STREAM_END : Z_OK;
}

} // namespace

namespace veg::grid {

int hdfStreamInit(z_stream *strm, int level) {
    if (strm == Z_NULL) {
        return Z_STREAM_ERROR;
    }
    if (level == Z_DEFAULT_COMPRESSION) {
        level = 6;
    }
    if (level < 0 || level > 9) {
        return Z_STREAM_ERROR;
    }
    HdfStream *s = new (std::nothrow) HdfStream;
    if (s == nullptr) {
        return Z_MEM_ERROR;
    }
    s->level = level;
    strm->msg = Z_NULL;
    strm->zalloc = markerAlloc;
    strm->zfree = markerFree;
    strm->state = reinterpret_cast<internal_state *>(s);
    strm->total_in = 0;
    strm->total_out = 0;
    strm->adler = 1; // the checksum of no data
    strm->data_type = Z_UNKNOWN;
    hdfStreams.fetch_add(1, std::memory_order_relaxed);
    const uint64_t open = openHdfStreams.fetch_add(1, std::memory_order_relaxed) + 1;
    uint64_t most = mostOpenHdfStreams.load(std::memory_order_relaxed);
    while (open > most && !mostOpenHdfStreams.compare_exchange_weak(most, open)) {
    }
    return Z_OK;
}

int hdfStreamDeflate(z_stream *strm, int flush) {
    HdfStream *s = hdfStreamOf(strm);
    if (s == nullptr) {
        return Z_STREAM_ERROR;
    }
    try {
        return deflateStream(strm, *s, flush);
    } catch (const std::bad_alloc &) {
        return Z_MEM_ERROR;
    }
}

int hdfStreamEnd(z_stream *strm) {
    HdfStream *s = hdfStreamOf(strm);
    if (s == nullptr) {
        return Z_STREAM_ERROR;
    }
    const bool cutShort = s->started && !s->finished;
    delete s;
    openHdfStreams.fetch_sub(1, std::memory_order_relaxed);
    strm->state = Z_NULL;
    return cutShort ? Z_DATA_ERROR : Z_OK;
}

StreamReuse::StreamReuse() {
    const StreamReuse *none = nullptr;
    registered_ = activeReuse.compare_exchange_strong(none, this, std::memory_order_acq_rel);
}

StreamReuse::~StreamReuse() {
    if (registered_) {
        activeReuse.store(nullptr, std::memory_order_release);
    }
}

namespace {

uint32_t streamAdler(const RawBytes &stream) {
    return endingChecksum(stream.data(), stream.size());
}

// A zlib stream is at least its 2-byte header, an empty block and the 4-byte checksum.
constexpr size_t kShortestStream = 7;

} // namespace

void StreamReuse::add(KeptStream stream) {
    if (stream.stream.size() >= kShortestStream && stream.decodedBytes > 0) {
        const uint32_t adler = streamAdler(stream.stream);
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back(Entry{std::move(stream), adler, true});
    }
}

size_t StreamReuse::reserve(uint64_t decodedBytes, uint32_t crc32, uint32_t adler32) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Entry entry;
    entry.stream.decodedBytes = decodedBytes;
    entry.stream.crc32 = crc32;
    entry.adler32 = adler32;
    entries_.push_back(std::move(entry));
    return entries_.size() - 1;
}

void StreamReuse::fulfil(size_t reservation, KeptStream stream) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Entry &entry = entries_.at(reservation);
        // Only the stream of the data reserved for; anything else leaves the data to the write.
        if (stream.stream.size() >= kShortestStream &&
            stream.decodedBytes == entry.stream.decodedBytes &&
            stream.crc32 == entry.stream.crc32 && streamAdler(stream.stream) == entry.adler32) {
            entry.stream.stream = std::move(stream.stream);
        }
        entry.ready = true;
    }
    made_.notify_all();
}

const KeptStream *StreamReuse::find(const unsigned char *bytes, size_t count) const {
    std::unique_lock<std::mutex> lock(mutex_);
    bool summed = false;
    uint32_t crc = 0;
    uint32_t adler = 0;
    for (const Entry &entry : entries_) {
        if (entry.stream.decodedBytes != count) {
            continue;
        }
        if (!summed) {
            crc = libdeflate_crc32(0, bytes, count);
            adler = libdeflate_adler32(1, bytes, count);
            summed = true;
        }
        if (entry.stream.crc32 != crc || entry.adler32 != adler) {
            continue;
        }
        made_.wait(lock, [&entry] { return entry.ready; });
        if (!entry.stream.stream.empty()) {
            return &entry.stream;
        }
    }
    return nullptr;
}

KeptStream compressLikeHdf(const void *bytes, size_t count, int level) {
    if (level == Z_DEFAULT_COMPRESSION) {
        level = 6;
    }
    KeptStream kept;
    if (level < 0 || level > 9) {
        return kept;
    }
    const Compressor compressor(libdeflate_alloc_compressor(level), libdeflate_free_compressor);
    if (!compressor ||
        !kept.stream.resize(libdeflate_zlib_compress_bound(compressor.get(), count))) {
        return KeptStream{};
    }
    // Never 0: the bound always fits.
    kept.stream.resize(libdeflate_zlib_compress(compressor.get(), bytes, count, kept.stream.data(),
                                                kept.stream.size()));
    kept.decodedBytes = count;
    kept.crc32 = libdeflate_crc32(0, bytes, count);
    return kept;
}

DeflateCounts deflateCounts() {
    return DeflateCounts{hdfStreams.load(std::memory_order_relaxed),
                         reusedStreams.load(std::memory_order_relaxed),
                         zlibCalls.load(std::memory_order_relaxed),
                         mostOpenHdfStreams.load(std::memory_order_relaxed)};
}

} // namespace veg::grid

extern "C" {

int deflateInit_(z_streamp strm, int level, const char *version, int streamSize) {
    if (calledByHdf(__builtin_return_address(0))) {
        if (version == Z_NULL || version[0] != ZLIB_VERSION[0] ||
            streamSize != static_cast<int>(sizeof(z_stream))) {
            return Z_VERSION_ERROR;
        }
        return veg::grid::hdfStreamInit(strm, level);
    }
    zlibCalls.fetch_add(1, std::memory_order_relaxed);
    const InitCall init = zlibEntryPoints().init;
    return init != nullptr ? init(strm, level, version, streamSize) : Z_VERSION_ERROR;
}

int deflate(z_streamp strm, int flush) {
    if (hdfStreamOf(strm) != nullptr) {
        return veg::grid::hdfStreamDeflate(strm, flush);
    }
    zlibCalls.fetch_add(1, std::memory_order_relaxed);
    const DeflateCall run = zlibEntryPoints().run;
    return run != nullptr ? run(strm, flush) : Z_STREAM_ERROR;
}

int deflateEnd(z_streamp strm) {
    if (hdfStreamOf(strm) != nullptr) {
        return veg::grid::hdfStreamEnd(strm);
    }
    zlibCalls.fetch_add(1, std::memory_order_relaxed);
    const EndCall end = zlibEntryPoints().end;
    return end != nullptr ? end(strm) : Z_STREAM_ERROR;
}

} // extern "C"
