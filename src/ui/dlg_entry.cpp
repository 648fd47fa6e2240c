// The dialogs the main window opens, shown modally on their records.
#include "ui/dlg_entry.h"

#include "effects/fndialog.h"
#include "formats/ffsavedlg.h"
#include "ui/dlg_common.h"
#include "ui/dlg_effect.h"
#include "ui/dlg_geometry.h"
#include "ui/dlg_info.h"
#include "ui/dlg_output.h"
#include "ui/dlg_saveopt.h"

namespace rf::ui {

bool ShowEffectDialog(QWidget* parent, int32_t id, QFnParams*& params) {
  QtEffectDialogs dialogs(parent);
  return FnDialog(id, params, dialogs);
}

bool ShowSaveOptions(QWidget* parent, QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth) {
  QtSaveOptionDialogs dialogs(parent);
  return FFSaveDlg(opts, width, height, depth, dialogs);
}

bool ShowAviDialog(QWidget* parent, aviCodecsRec& avi, int32_t width, int32_t height, int32_t depth) {
  return EditAviSettings(parent, avi, width, height, depth);
}

bool ShowMpegDialog(QWidget* parent, QffSaveOpt& opts) { return EditMpegOptions(parent, opts); }

bool ShowRescaleDialog(QWidget* parent, OutputDef& def) {
  DlgRescale dialog(def, parent);
  return RunModal(dialog);
}

bool ShowCropDialog(QWidget* parent, OutputDef& def, const QImage& preview) {
  DlgCrop dialog(def, preview, parent);
  return RunModal(dialog);
}

bool ShowRotateDialog(QWidget* parent, OutputDef& def) {
  DlgRotate dialog(def, parent);
  return RunModal(dialog);
}

bool ShowOutputDialog(QWidget* parent, OutputDef& def, const QImage& preview) {
  TfrmOutput dialog(def, preview, parent);
  return RunModal(dialog);
}

bool ShowSessionSections(QWidget* parent, const std::string& question, bool loading, uint32_t& flags) {
  TfrmSesOpt dialog(question, loading, flags, parent);
  return RunModal(dialog);
}

void ShowFileInformation(QWidget* parent, const std::vector<const QUniInfo*>& infos) {
  TfrmInfo dialog(infos, parent);
  dialog.exec();
}

}  // namespace rf::ui
