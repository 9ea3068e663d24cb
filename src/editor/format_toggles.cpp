#include "editor/format_toggles.h"

#include <QFont>
#include <QTextEdit>

#include "editor/editor_state.h"

namespace tsubame {
namespace {

template <class Apply>
void toggle(QTextEdit& body, bool& flag, Apply apply) {
    flag = !flag;
    QFont font = body.font();
    apply(font, flag);
    body.setFont(font);
}

}  // namespace

void toggleBold(QTextEdit& body, EditorState& state) {
    toggle(body, state.BoldOn, [](QFont& f, bool on) { f.setBold(on); });
}

void toggleItalic(QTextEdit& body, EditorState& state) {
    toggle(body, state.ItalicOn, [](QFont& f, bool on) { f.setItalic(on); });
}

void toggleUnderline(QTextEdit& body, EditorState& state) {
    toggle(body, state.UnderlineOn, [](QFont& f, bool on) { f.setUnderline(on); });
}

}  // namespace tsubame
