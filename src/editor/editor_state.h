#pragma once

#include <QString>

namespace tsubame {

// Document state shared by the viewer and the compose window for the whole run.
struct EditorState {
    QString CurrentDocumentPath;  // empty at start; set by the new-document command
    bool DocumentModified = false;
    bool BoldOn = false;
    bool ItalicOn = false;
    bool UnderlineOn = false;
};

}  // namespace tsubame
