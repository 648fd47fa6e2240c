// The session container: a 150-byte header followed by chunks of length-prefixed items, written
// and read through the tracked files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rf {

inline constexpr int32_t SES_MAGIC = 1122334455;
inline constexpr int32_t SES_VERSION = 1;
inline constexpr int32_t SES_HEADER_SIZE = 150;
inline constexpr int32_t SES_CHUNK_HEADER_SIZE = 16;

#pragma pack(push, 1)
struct QSesHeader {
  int32_t magic;
  int32_t headerSize;
  int32_t version;
  char description[128];  // zero-terminated, at most 127 characters
  char date[10];          // "yyyy-mm-dd", no terminator
};
struct QSesChunk {
  int32_t id;
  int32_t headerSize;
  int32_t count;     // items, as each chunk counts them
  int32_t dataSize;  // bytes of the items that follow, their length fields included
};
#pragma pack(pop)
static_assert(sizeof(QSesHeader) == SES_HEADER_SIZE && offsetof(QSesHeader, version) == 8 &&
              offsetof(QSesHeader, description) == 12 && offsetof(QSesHeader, date) == 140);
static_assert(sizeof(QSesChunk) == SES_CHUNK_HEADER_SIZE && offsetof(QSesChunk, dataSize) == 12);

struct QAppSession {
  QSesHeader header{};
  QSesChunk chunk{};
  int64_t chunkPos = 0;  // where the current chunk header lies
  int64_t fileSize = 0;
  int64_t nextChunk = 0;
  int32_t handle = -1;
};

// Failures set the error register (and so abort the enclosing guarded block).
void SesMakeHeader(QSesHeader& header, int32_t magic, int32_t version, const std::string& description);
bool SesCreate(QAppSession& session, const std::string& fileName, const QSesHeader& header);
void SesChunkBegin(QAppSession& session, int32_t id);
// A negative length is written as 0.
void SesWriteItem(QAppSession& session, const void* data, int32_t length, bool counted);
void SesChunkEnd(QAppSession& session);
void SesClose(QAppSession& session);

bool SesReadHeader(const std::string& fileName, QSesHeader& header);
bool SesOpen(QAppSession& session, const std::string& fileName, QSesHeader& header);
bool SesNextChunk(QAppSession& session, QSesChunk& chunk);
// Reads one item into a tracked block the caller owns ("AppSession.SesLoadChunkData.dataPtr"),
// nil for an empty item. An item longer than what is left of the chunk's file is error 6/3.
void SesLoadChunkData(QAppSession& session, uint8_t*& data, int32_t& length);
bool SesSkipToNextChunk(QAppSession& session);

}  // namespace rf
