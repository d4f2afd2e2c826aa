// The main window's status bar.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <QString>
#include <QWidget>

#include <functional>

class QMouseEvent;

// The status bar with its two panels: panel 0 (250 pixels) shows a text,
// panel 1 (50 pixels) the owner-drawn progress gauge; beside them the
// readout of the pixel under the mouse. A click anywhere on it emits
// clicked().
class TMainStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TMainStatusBar(QWidget* parent = nullptr);
    QLabel* Panel0 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* ReadoutPanel = nullptr;
    void SetPanelText(const QString& text);
    // Shows `text` in the readout panel (empty clears it).
    void SetReadout(const QString& text);
    QString PanelText() const;
    // Asked by panel 1 at every repaint: returns true and the percentage
    // while an operation runs, false when idle.
    std::function<bool(long double&)> GaugeState;
signals:
    void clicked();
protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
