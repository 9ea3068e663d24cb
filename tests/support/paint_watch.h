#pragma once

#include <QEvent>
#include <QObject>
#include <QProgressBar>
#include <QString>
#include <atomic>
#include <set>

namespace tsubame::testing {

// Counts the paints of the widgets it watches and keeps the texts a progress bar showed.
class PaintWatch : public QObject {
  public:
    std::atomic<int> paints = 0;
    std::set<QString> progressTexts;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        ++paints;
        if (auto* bar = qobject_cast<QProgressBar*>(watched)) progressTexts.insert(bar->text());
        return false;
    }
};

}  // namespace tsubame::testing
