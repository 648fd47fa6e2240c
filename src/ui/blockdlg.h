// The block settings dialog: trims one video or audio block of the edit list, with a frame
// preview, an audio preview player and the link that keeps a video block and its sound in step.
#pragma once

#include <cstdint>

class QWidget;

namespace rf {
struct Project;
struct QInputSettings;
}  // namespace rf

namespace rf::ui {

// Which list the block comes from; the dialog opens on that list's page.
inline constexpr int32_t BLOCK_VIDEO = 0;
inline constexpr int32_t BLOCK_AUDIO = 1;

struct BlockDialogOptions {
  int32_t videoUnit = 0;  // 0 frame numbers, 1 times
  int32_t audioUnit = 0;  // 0 sample numbers, 1 times
};

// Shows the modal dialog with the record's blocks. On OK writes the blocks back and fills the
// record's start position and length change; returns true then.
bool DlgInputSettings(QWidget* parent, QInputSettings& settings, const BlockDialogOptions& options = {});

// Opens the dialog on block index of the project's video (kind BLOCK_VIDEO) or audio list, with
// its linked partner. On OK the blocks are updated and the effects after the video block are
// shifted by its change of length. True when the user chose OK.
bool ShowBlockDialog(QWidget* parent, Project& project, int32_t kind, int32_t index,
                     const BlockDialogOptions& options = {});

}  // namespace rf::ui
