// The session container's writer and reader on the tracked files.
#include "persistence/appsession.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "foundation/errors.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {

void SesMakeHeader(QSesHeader& header, int32_t magic, int32_t version, const std::string& description) {
  header = QSesHeader{};
  header.magic = magic;
  header.headerSize = SES_HEADER_SIZE;
  header.version = version;
  std::memcpy(header.description, description.data(), std::min<size_t>(description.size(), 127));
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[11];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  std::memcpy(header.date, date, 10);
}

bool SesCreate(QAppSession& session, const std::string& fileName, const QSesHeader& header) {
  session = QAppSession{};
  session.header = header;
  if (FOpen(session.handle, fileName, FM_CREATE | FM_WRITE) != 0) return false;
  return FWrite(session.handle, &session.header, SES_HEADER_SIZE) == 0;
}

void SesChunkBegin(QAppSession& session, int32_t id) {
  session.chunk = QSesChunk{id, SES_CHUNK_HEADER_SIZE, 0, 0};
  session.chunkPos = FPos(session.handle);
  FWrite(session.handle, &session.chunk, SES_CHUNK_HEADER_SIZE);
}

void SesWriteItem(QAppSession& session, const void* data, int32_t length, bool counted) {
  length = std::max(length, 0);
  FWrite(session.handle, &length, 4);
  if (length > 0) FWrite(session.handle, data, length);
  session.chunk.dataSize += length + 4;
  if (counted) ++session.chunk.count;
}

void SesChunkEnd(QAppSession& session) {
  const int64_t here = FPos(session.handle);
  FSeek(session.handle, session.chunkPos);
  FWrite(session.handle, &session.chunk, SES_CHUNK_HEADER_SIZE);
  FSeek(session.handle, here);
}

void SesClose(QAppSession& session) {
  FClose(session.handle);
  session.handle = -1;
}

bool SesReadHeader(const std::string& fileName, QSesHeader& header) {
  QAppSession session;
  if (!SesOpen(session, fileName, header)) return false;
  SesClose(session);
  return true;
}

bool SesOpen(QAppSession& session, const std::string& fileName, QSesHeader& header) {
  session = QAppSession{};
  if (FOpen(session.handle, fileName, FM_READ) != 0) return false;
  session.fileSize = FSize(session.handle);
  header = QSesHeader{};
  if (FRead(session.handle, &header, SES_HEADER_SIZE) != 0) {
    FClose(session.handle);
    session.handle = -1;
    return false;
  }
  session.header = header;
  // A header that says it is longer than 150 bytes keeps its chunks after its whole length.
  if (header.headerSize > SES_HEADER_SIZE && header.headerSize <= session.fileSize)
    FSeek(session.handle, header.headerSize);
  return true;
}

bool SesNextChunk(QAppSession& session, QSesChunk& chunk) {
  if (FRead(session.handle, &session.chunk, SES_CHUNK_HEADER_SIZE) != 0) return false;
  chunk = session.chunk;
  session.nextChunk = FPos(session.handle) + int64_t(uint32_t(chunk.dataSize));
  return true;
}

void SesLoadChunkData(QAppSession& session, uint8_t*& data, int32_t& length) {
  data = nullptr;
  length = 0;
  FRead(session.handle, &length, 4);
  if (length < 1) {
    length = 0;
    return;
  }
  if (length > session.fileSize - FPos(session.handle)) {
    length = 0;
    ErrSet(6, 3);
    return;
  }
  _memalloc_(data, length, MEM_NEW, "AppSession.SesLoadChunkData.dataPtr");
  FRead(session.handle, data, length);
}

bool SesSkipToNextChunk(QAppSession& session) {
  if (session.nextChunk >= session.fileSize) return false;
  FSeek(session.handle, session.nextChunk);
  return true;
}

}  // namespace rf
