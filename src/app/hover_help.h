#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace tsubame {

// Puts a control's explanation into a help box when the pointer enters or moves over the
// control. The text stays until another control replaces it.
class HoverHelp : public QObject {
    Q_OBJECT
  public:
    using Sink = std::function<void(const QString&)>;
    HoverHelp(Sink sink, QObject* parent);

    void add(QWidget* control, const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Sink sink_;
    QHash<QObject*, QString> texts_;
};

}  // namespace tsubame
