// The dialogs the main window opens, each shown modally over parent on the record it edits.
// Every function returns true when the user confirmed; a cancelled dialog changes nothing.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

#include "effects/fnparams.h"
#include "engine/outdef.h"
#include "formats/ffsaveopt.h"
#include "formats/uniaccess.h"
#include "persistence/prefs.h"
#include "ui/dlg_range.h"
#include "ui/dlg_session.h"

class QWidget;

namespace rf::ui {

// The effect's parameter dialog (FnDialog); a nil params receives a new record when accepted.
bool ShowEffectDialog(QWidget* parent, int32_t id, QFnParams*& params);
// The format options of a picture of width x height x depth (FFSaveDlg); true for formats without.
bool ShowSaveOptions(QWidget* parent, QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth);
// "Select AVI Video Format" on the AVI settings of a save options record.
bool ShowAviDialog(QWidget* parent, aviCodecsRec& avi, int32_t width, int32_t height, int32_t depth);
// "MPEG Compression" on the MPEG format and rate of a save options record.
bool ShowMpegDialog(QWidget* parent, QffSaveOpt& opts);
// "Video Size Settings" on the output's scaling fields.
bool ShowRescaleDialog(QWidget* parent, OutputDef& def);
// "Crop" on the output's margins, over a preview picture (may be null).
bool ShowCropDialog(QWidget* parent, OutputDef& def, const QImage& preview = {});
// "Rotate Image" on the output's rotation.
bool ShowRotateDialog(QWidget* parent, OutputDef& def);
// "Define Output" (TfrmOutput) on the output definition; its warnings go to the message boxes.
bool ShowOutputDialog(QWidget* parent, OutputDef& def, const QImage& preview = {});
// "Select Session Contents": flags (SES_*) preselect and receive the chosen sections.
bool ShowSessionSections(QWidget* parent, const std::string& question, bool loading, uint32_t& flags);
// "File Information" for the records, in order.
void ShowFileInformation(QWidget* parent, const std::vector<const QUniInfo*>& infos);
// "Video Effects Range" on the entries, showing the first one's range; every entry gets the result.
bool ShowRangeDialog(QWidget* parent, std::vector<QFnEntry*> entries, const RangePositions& pos);
// "Options" on the user's preferences.
bool ShowOptionsDialog(QWidget* parent, Preferences& prefs);

}  // namespace rf::ui
