// "File Information": the information report of the selected files in a read-only text box.
#pragma once

#include <QDialog>
#include <vector>

#include "formats/uniaccess.h"

namespace rf::ui {

class TfrmInfo : public QDialog {
  Q_OBJECT
 public:
  TfrmInfo(const std::vector<const QUniInfo*>& infos, QWidget* parent = nullptr);
};

// The report of the records, cut to what the text box holds.
std::string FileInformationText(const std::vector<const QUniInfo*>& infos);

}  // namespace rf::ui
