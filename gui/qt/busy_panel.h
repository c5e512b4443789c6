#pragma once
// The contents of the busy page (pageBuilding): a centred text (lbBusyLabel)
// above a running animation, a progress bar and a Cancel button.
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vs::gui {

// A turning film reel, drawn; it runs only while it is visible.
class BusyAnimation : public QWidget {
    Q_OBJECT
public:
    explicit BusyAnimation(QWidget* parent = nullptr);

    int frame() const { return frame_; }
    bool running() const { return timer_.isActive(); }
    QSize sizeHint() const override { return {72, 72}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer timer_;
    int frame_ = 0;
};

class BusyPanel : public QWidget {
    Q_OBJECT
public:
    explicit BusyPanel(QWidget* parent = nullptr);

    QLabel* label() const { return label_; }
    QProgressBar* progressBar() const { return bar_; }
    BusyAnimation* animation() const { return animation_; }
    // Cancels the build or preview that the page stands for.
    QPushButton* cancelButton() const { return cancel_; }

    void setText(const QString& text);

public slots:
    // Position out of maximum; a maximum of 0 or less hides the bar.
    void setProgress(int position, int maximum);

private:
    QLabel* label_;
    BusyAnimation* animation_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

}  // namespace vs::gui
