// Saving: the picture at full resolution and its parameters beside it as
// .json, both or neither; the name asked for the first time (Save As always),
// a failure shown in a dialog that stays until dismissed; and the File menu.
#pragma once

#include <string>

#include "view/RenderScheduler.h"
#include "view/Report.h"
#include "view/ViewState.h"

namespace vview {

class Saver {
public:
    Saver(ViewState& state, RenderScheduler& renders, const Reporter& report)
        : state_(state), renders_(renders), report_(report), save_path_(state.options.save_path) {}

    // Saves under the name used last, or asks for one.
    void SaveNow();
    // Asks for a name, offering the last one or one made from the input and the effect.
    void AskSavePath();
    void Save(const std::string& path);

    void DrawMenu();
    // The name dialog and the failure dialog; `close` closes whichever is open.
    void DrawDialogs(bool close);
    // A dialog was asked for and is not drawn yet.
    bool DialogAsked() const { return open_save_ || open_save_error_; }

private:
    std::string DefaultSavePath() const;

    ViewState& state_;
    RenderScheduler& renders_;
    const Reporter& report_;
    std::string save_path_, save_edit_, save_error_;
    bool open_save_ = false, open_save_error_ = false;
};

}  // namespace vview
