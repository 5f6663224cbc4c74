#pragma once

#include "services/Window.h"

#include <QWidget>

#include <array>
#include <cstdint>

class QCheckBox;
class QLabel;
class QListView;
class QPushButton;

namespace deptest {

class LineListModel;
class Runtime;

// The program's one window, "Test Dependent Files". It lays out the
// controls, hands each event to its command and offers the commands the
// few operations of the Window interface; the commands themselves live
// below the window layer.
class frmTest final : public QWidget, public Window {
    Q_OBJECT
public:
    explicit frmTest(Runtime& runtime, QWidget* parent = nullptr);
    ~frmTest() override;

    void setEnabled(Button button, bool enabled) override;
    void clear(ListBox list) override;
    void append(ListBox list, std::string_view line, std::string_view detail) override;
    [[nodiscard]] int missingCount() const override;
    [[nodiscard]] bool appDirOnly() const override;
    void pressExit() override;
    [[nodiscard]] bool isUnloaded() const override { return m_unloaded; }
    // Who signed the lists of the last test, in the window's title, whole in
    // the tooltip of lstMatching's caption.
    void noteSignature(const ListSignatureNote& note) override;

    // The window's key-press handler, seen before the focused control
    // gets the key. Character code 2 (Ctrl+B) runs the reference generation.
    void Form_KeyPress(std::int16_t& keyAscii);

public slots:
    // A request from outside to end the program: the window closes as if
    // its close box were clicked, so a running test stops after the entry
    // at hand and its files end on whole records. A second request, while
    // a message box still waits, ends the program at once.
    void endOnRequest();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void cmdTest_Click();
    void cmdPrint_Click();
    void cmdExit_Click();

private:
    void createWidgets();
    void createLists();
    void createCaptionedControls();
    void setUpKeyboard();
    QPushButton* button(Button which) const;
    LineListModel* model(ListBox which) const;
    void previewKey(QKeyEvent* event);
    void showAllLines();

    Runtime& m_runtime;
    QListView* lstMatching { nullptr };
    QListView* lstMissing { nullptr };
    QPushButton* cmdTest { nullptr };
    QPushButton* cmdPrint { nullptr };
    QPushButton* cmdExit { nullptr };
    std::array<QLabel*, 2> lblCaption {};
    QCheckBox* chkAppDir { nullptr };
    LineListModel* m_matching { nullptr };
    LineListModel* m_missing { nullptr };
    bool m_testRunning { false };
    bool m_unloaded { false };
    bool m_forwardingKey { false };
};

// The character code a key press carries: control letters give their
// control code (Ctrl+B gives 2, with or without Shift), other keys the
// code of the character they type, 0 when they type none.
std::int16_t characterCode(const QKeyEvent& event);

// The window's font family is rare off Windows: the sans serifs closest
// to its width stand in for it where they are installed, any sans serif
// otherwise. Qt keeps the stand-ins for the whole process: set once, where
// the application starts.
void substituteWindowFonts();

} // namespace deptest
