// File information texts: a media information record as a readable report or as CSV, and the
// list of records that one report covers.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "formats/uniaccess.h"

namespace rf {

// The 21 value texts, in report and column order.
enum InfText : int32_t {
  INF_FILE_NAME,
  INF_FILE_FORMAT,
  INF_FILE_SIZE,
  INF_FILE_UNCOMP_SIZE,
  INF_FILE_COMPR_RATIO,
  INF_FILE_DATA_RATE,
  INF_FILE_EST_DATA_RATE,
  INF_VID_FORMAT,
  INF_VID_RES,
  INF_VID_COLORS,
  INF_VID_RATE,
  INF_VID_FRAMES,
  INF_VID_TIME,
  INF_VID_UNCMP_SIZE,
  INF_AUD_FORMAT,
  INF_AUD_RATE,
  INF_AUD_CHANNELS,
  INF_AUD_BITS,
  INF_AUD_SAMPLES,
  INF_AUD_TIME,
  INF_AUD_UNCMP_SIZE,
  INF_TEXT_COUNT
};

struct QInfTextRec {
  std::array<std::string, INF_TEXT_COUNT> texts;
};

// The edit box of the information window holds at most this many characters.
inline constexpr size_t INFO_BOX_LIMIT = 32000;

// The process-wide list of records that one report covers. Records are listed by reference
// (each once) and must outlive the list.
void InfoListInit();
void InfoListDone();
int32_t InfoListAdd(const QUniInfo* info);
// Every listed record: the first with the CSV header, the others after it. For the execution
// log and the command line.
std::string InfoListGetStr(bool csv);
// The same text cut for the information window's edit box: the record that would take the
// text past INFO_BOX_LIMIT and all after it give way to a notice.
std::string InfoListGetBoxStr(bool csv);

namespace detail {
void CalcInfoValues(const QUniInfo& info, QInfTextRec& texts, bool report);
std::string GetTextualInfo(const QUniInfo& info, bool csv, bool header);
std::string GetSizeString(double size, bool report);
std::string GetRatioString(double a, double b, bool report);
std::string CalcTimeString(double rate, double count, bool report);
void ClearInfRec(QInfTextRec& texts);
}  // namespace detail

}  // namespace rf
