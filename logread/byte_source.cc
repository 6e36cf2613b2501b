#include "logread/byte_source.h"

#include <bzlib.h>
#include <fcntl.h>
#include <lzma.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kInputChunk = 64 * 1024;

}  // namespace

// The state of one decompressor, and its input buffer.
struct HByteSource::Decoder {
  ~Decoder() {
    if (gzip_ready) inflateEnd(&gzip);
    if (bzip2_ready) BZ2_bzDecompressEnd(&bzip2);
    if (xz_ready) lzma_end(&xz);
    if (zstd != nullptr) ZSTD_freeDStream(zstd);
  }

  std::vector<char> input = std::vector<char>(kInputChunk);
  size_t input_at = 0;
  size_t input_end = 0;
  bool input_done = false;
  bool member_open = false;  // input taken since the last stream ended
  bool finished = false;     // the decoder says the whole content has ended
  z_stream gzip = {};
  bool gzip_ready = false;
  bz_stream bzip2 = {};
  bool bzip2_ready = false;
  lzma_stream xz = LZMA_STREAM_INIT;
  bool xz_ready = false;
  ZSTD_DStream* zstd = nullptr;
};

HByteSource::Kind KindOfContent(const unsigned char* head, size_t n) {
  if (n >= 2 && head[0] == 0x1f && head[1] == 0x8b) return HByteSource::kGzip;
  if (n >= 3 && head[0] == 'B' && head[1] == 'Z' && head[2] == 'h') return HByteSource::kBzip2;
  if (n >= 6 && memcmp(head,
                       "\xfd"
                       "7zXZ\0",
                       6) == 0)
    return HByteSource::kXz;
  if (n >= 4 && head[0] == 0x28 && head[1] == 0xb5 && head[2] == 0x2f && head[3] == 0xfd) return HByteSource::kZstd;
  return HByteSource::kPlain;
}

HByteSource::HByteSource() = default;

HByteSource::~HByteSource() { Close(); }

void HByteSource::Close() {
  decoder_.reset();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool HByteSource::Open(const char* path) {
  Close();
  error_.clear();
  fd_ = open(path, O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = strerror(errno);
    return false;
  }
  unsigned char head[6] = {};
  const ssize_t got = pread(fd_, head, sizeof head, 0);
  if (got < 0) {
    error_ = strerror(errno);
    Close();
    return false;
  }
  kind_ = KindOfContent(head, static_cast<size_t>(got));
  if (kind_ == kPlain) return true;
  decoder_.reset(new Decoder);
  bool ready = false;
  switch (kind_) {
    case kGzip:
      // 32 + 15: gzip headers, the largest window; members follow each other.
      ready = decoder_->gzip_ready = inflateInit2(&decoder_->gzip, 32 + 15) == Z_OK;
      break;
    case kBzip2:
      ready = decoder_->bzip2_ready = BZ2_bzDecompressInit(&decoder_->bzip2, 0, 0) == BZ_OK;
      break;
    case kXz:
      ready = decoder_->xz_ready = lzma_stream_decoder(&decoder_->xz, UINT64_MAX, LZMA_CONCATENATED) == LZMA_OK;
      break;
    case kZstd:
      decoder_->zstd = ZSTD_createDStream();
      ready = decoder_->zstd != nullptr && !ZSTD_isError(ZSTD_initDStream(decoder_->zstd));
      break;
    case kPlain:
      break;
  }
  if (!ready) {
    error_ = "the decompressor could not start";
    Close();
  }
  return ready;
}

ssize_t HByteSource::ReadRaw(char* out, size_t size) {
  for (;;) {
    const ssize_t got = read(fd_, out, size);
    if (got >= 0 || errno != EINTR) {
      if (got < 0) error_ = strerror(errno);
      return got;
    }
  }
}

ssize_t HByteSource::Read(char* out, size_t size) {
  if (fd_ < 0) return -1;
  if (kind_ == kPlain) return ReadRaw(out, size);
  Decoder& d = *decoder_;
  for (;;) {
    if (d.input_at == d.input_end && !d.input_done) {
      const ssize_t got = ReadRaw(d.input.data(), d.input.size());
      if (got < 0) return -1;
      d.input_at = 0;
      d.input_end = static_cast<size_t>(got);
      d.input_done = got == 0;
    }
    const size_t available = d.input_end - d.input_at;
    if (d.finished) return 0;
    // The xz decoder is told the end itself (LZMA_FINISH) and says whether
    // the content is complete.
    if (available == 0 && d.input_done && kind_ != kXz) {
      if (!d.member_open) return 0;
      error_ = "the compressed data ends early";
      return -1;
    }
    char* in = d.input.data() + d.input_at;
    size_t produced = 0;
    size_t consumed = 0;
    bool ended = false;  // one compressed stream (member, frame) is complete
    bool broken = false;
    switch (kind_) {
      case kGzip: {
        d.gzip.next_in = reinterpret_cast<Bytef*>(in);
        d.gzip.avail_in = static_cast<uInt>(available);
        d.gzip.next_out = reinterpret_cast<Bytef*>(out);
        d.gzip.avail_out = static_cast<uInt>(size);
        const int status = inflate(&d.gzip, Z_NO_FLUSH);
        ended = status == Z_STREAM_END;
        broken = status != Z_OK && !ended;
        consumed = available - d.gzip.avail_in;
        produced = size - d.gzip.avail_out;
        if (ended) inflateReset(&d.gzip);  // another member may follow
        break;
      }
      case kBzip2: {
        d.bzip2.next_in = in;
        d.bzip2.avail_in = static_cast<unsigned>(available);
        d.bzip2.next_out = out;
        d.bzip2.avail_out = static_cast<unsigned>(size);
        const int status = BZ2_bzDecompress(&d.bzip2);
        ended = status == BZ_STREAM_END;
        broken = status != BZ_OK && !ended;
        consumed = available - d.bzip2.avail_in;
        produced = size - d.bzip2.avail_out;
        if (ended) {  // another stream may follow
          BZ2_bzDecompressEnd(&d.bzip2);
          d.bzip2 = {};
          d.bzip2_ready = BZ2_bzDecompressInit(&d.bzip2, 0, 0) == BZ_OK;
          broken = !d.bzip2_ready;
        }
        break;
      }
      case kXz: {
        // Concatenated streams are the decoder's own business; it says
        // when the last has ended.
        d.xz.next_in = reinterpret_cast<const uint8_t*>(in);
        d.xz.avail_in = available;
        d.xz.next_out = reinterpret_cast<uint8_t*>(out);
        d.xz.avail_out = size;
        const lzma_ret status = lzma_code(&d.xz, d.input_done ? LZMA_FINISH : LZMA_RUN);
        consumed = available - d.xz.avail_in;
        produced = size - d.xz.avail_out;
        d.finished = status == LZMA_STREAM_END;
        broken = status != LZMA_OK && !d.finished;
        if (!broken && !d.finished && produced == 0 && d.input_done && available == 0) {
          error_ = "the compressed data ends early";
          return -1;
        }
        break;
      }
      case kZstd: {
        ZSTD_inBuffer input = {in, available, 0};
        ZSTD_outBuffer output = {out, size, 0};
        const size_t status = ZSTD_decompressStream(d.zstd, &output, &input);
        broken = ZSTD_isError(status);
        ended = !broken && status == 0;
        consumed = input.pos;
        produced = output.pos;
        break;
      }
      case kPlain:
        break;
    }
    d.input_at += consumed;
    if (broken) {
      error_ = "broken compressed data";
      return -1;
    }
    if (ended) {
      d.member_open = false;
    } else if (consumed > 0) {
      d.member_open = true;
    }
    if (produced > 0) return static_cast<ssize_t>(produced);
    if (d.finished) return 0;
    if (consumed == 0 && !ended && available > 0) {
      error_ = "broken compressed data";  // no progress on input it has
      return -1;
    }
  }
}

bool HByteSource::Skip(long long offset) {
  if (fd_ < 0 || offset < 0) return false;
  if (kind_ == kPlain) return lseek(fd_, offset, SEEK_SET) == offset;
  std::vector<char> drop(kInputChunk);
  for (long long left = offset; left > 0;) {
    const size_t want = left < static_cast<long long>(drop.size()) ? static_cast<size_t>(left) : drop.size();
    const ssize_t got = Read(drop.data(), want);
    if (got <= 0) return false;
    left -= got;
  }
  return true;
}
