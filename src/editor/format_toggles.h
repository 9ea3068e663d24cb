#pragma once

class QTextEdit;

namespace tsubame {

struct EditorState;

// Bold, italic and underline switch the body box's whole font. Their flags live in the shared
// editor state, so a press in one window decides what the next press in the other does.
void toggleBold(QTextEdit& body, EditorState& state);
void toggleItalic(QTextEdit& body, EditorState& state);
void toggleUnderline(QTextEdit& body, EditorState& state);

}  // namespace tsubame
