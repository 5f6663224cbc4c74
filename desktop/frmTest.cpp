#include "desktop/frmTest.h"

#include "desktop/LineListModel.h"
#include "errors/Messages.h"
#include "generate/ReferenceGeneration.h"
#include "names/NameListCommand.h"
#include "report/ReportPrinting.h"
#include "services/Runtime.h"
#include "text/CodePageText.h"
#include "verify/OrderedLookups.h"
#include "verify/TestRun.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPushButton>

#include <algorithm>

// The icon images are compiled into a static library, whose resources
// must be registered by name; this has to happen outside any namespace.
static void loadIcons() { Q_INIT_RESOURCE(resources); }

namespace deptest {

namespace {

// Positions and sizes are kept in twips, 15 to a pixel at 96 dots per inch.
struct Placement {
    int left;
    int top;
    int width;
    int height;
};

constexpr int twipsPerPixel = 15;
constexpr Placement clientArea { 0, 0, 6990, 4800 };
constexpr Placement lstMatchingPlace { 120, 480, 3015, 2985 };
constexpr Placement lstMissingPlace { 3360, 480, 3495, 2985 };
constexpr Placement cmdTestPlace { 600, 4080, 1695, 495 };
constexpr Placement cmdPrintPlace { 2640, 4080, 1695, 495 };
constexpr Placement cmdExitPlace { 4680, 4080, 1695, 495 };
constexpr std::array<Placement, 2> lblCaptionPlace { { { 120, 120, 2775, 255 }, { 3360, 120, 3015, 255 } } };
constexpr Placement chkAppDirPlace { 1320, 3600, 3735, 255 };

void place(QWidget* widget, const Placement& twips)
{
    widget->setGeometry(twips.left / twipsPerPixel, twips.top / twipsPerPixel, twips.width / twipsPerPixel,
        twips.height / twipsPerPixel);
}

QFont boldSansSerif(qreal pointSize)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Bold);
    return font;
}

// The sizes of the controls are fixed; where the font the machine has is
// wider than the one they were drawn for, the control's text is made
// smaller, a quarter point at a time, until its caption fits whole, but
// never below a size that is still easy to read.
void fitCaption(QWidget* control)
{
    constexpr qreal smallestReadable = 7.0;
    constexpr qreal step = 0.25;
    QFont font = control->font();
    while (control->sizeHint().width() > control->width() && font.pointSizeF() - step >= smallestReadable) {
        font.setPointSizeF(font.pointSizeF() - step);
        control->setFont(font);
    }
}

QString withoutAccessKey(QString caption) { return caption.remove(QLatin1Char('&')); }

} // namespace

std::int16_t characterCode(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier) && event.key() >= Qt::Key_A
        && event.key() <= Qt::Key_Z)
        return static_cast<std::int16_t>(event.key() - Qt::Key_A + 1);
    const QString text = event.text();
    return text.isEmpty() ? std::int16_t { 0 } : static_cast<std::int16_t>(text.at(0).unicode());
}

void substituteWindowFonts()
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
        { QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo") });
}

frmTest::frmTest(Runtime& runtime, QWidget* parent)
    : QWidget(parent)
    , m_runtime(runtime)
{
    loadIcons();
    createWidgets();
    // Program files dropped onto the window become its name list.
    setAcceptDrops(names::canReadNameLists());
}

frmTest::~frmTest() = default;

namespace {

// The local files a drag carries, as the system names them.
std::vector<std::string> droppedFiles(const QMimeData* data)
{
    std::vector<std::string> files;
    if (data == nullptr)
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files.push_back(url.toLocalFile().toStdString());
    }
    return files;
}

} // namespace

void frmTest::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_testRunning && !droppedFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void frmTest::dropEvent(QDropEvent* event)
{
    const std::vector<std::string> files = droppedFiles(event->mimeData());
    if (m_testRunning || files.empty())
        return;
    event->acceptProposedAction();
    names::offerNameList(m_runtime, files);
}

void frmTest::createWidgets()
{
    setObjectName(QStringLiteral("frmTest"));
    setWindowTitle(QString::fromUtf8(message::applicationTitle.data(), qsizetype(message::applicationTitle.size())));
    setFixedSize(clientArea.width / twipsPerPixel, clientArea.height / twipsPerPixel);
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/deptest-32x32-2.xpm"));
    icon.addFile(QStringLiteral(":/icons/deptest-32x32-16.xpm"));
    icon.addFile(QStringLiteral(":/icons/deptest-16x16-16.xpm"));
    setWindowIcon(icon);
    createLists();
    createCaptionedControls();
    setUpKeyboard();
    connect(cmdTest, &QPushButton::clicked, this, &frmTest::cmdTest_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmTest::cmdPrint_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmTest::cmdExit_Click);
}

void frmTest::createLists()
{
    const auto makeList
        = [this](const char* name, LineListModel*& model, const QString& accessibleName, const Placement& where) {
              auto* list = new QListView(this);
              list->setObjectName(QLatin1String(name));
              list->setAccessibleName(accessibleName);
              model = new LineListModel(list);
              list->setModel(model);
              list->setUniformItemSizes(true); // keeps layout cheap for very long lists
              list->setSelectionMode(QAbstractItemView::SingleSelection);
              list->setEditTriggers(QAbstractItemView::NoEditTriggers);
              place(list, where);
              return list;
          };
    lstMatching = makeList("lstMatching", m_matching, QStringLiteral("Matching Files"), lstMatchingPlace);
    lstMissing = makeList("lstMissing", m_missing, QStringLiteral("Missing/Unmatched Files"), lstMissingPlace);
}

void frmTest::createCaptionedControls()
{
    const QFont buttonFont = boldSansSerif(9.75);
    const auto makeButton = [this, &buttonFont](const char* name, const QString& caption, const Placement& where) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setAccessibleName(withoutAccessKey(caption));
        button->setFont(buttonFont);
        button->setAutoDefault(false);
        place(button, where);
        return button;
    };
    cmdTest = makeButton("cmdTest", QStringLiteral("&Test"), cmdTestPlace);
    cmdPrint = makeButton("cmdPrint", QStringLiteral("&Print"), cmdPrintPlace);
    cmdExit = makeButton("cmdExit", QStringLiteral("E&xit"), cmdExitPlace);

    const std::array<QString, 2> captions { QStringLiteral("Matching Files:"),
        QStringLiteral("Missing/Unmatched Files:") };
    for (std::size_t index = 0; index < lblCaption.size(); ++index) {
        auto* label = new QLabel(captions[index], this);
        label->setObjectName(QStringLiteral("lblCaption(%1)").arg(index));
        label->setAccessibleName(captions[index]);
        label->setFont(buttonFont);
        place(label, lblCaptionPlace[index]);
        lblCaption[index] = label;
    }
    lblCaption[0]->setBuddy(lstMatching);
    lblCaption[1]->setBuddy(lstMissing);

    chkAppDir = new QCheckBox(QStringLiteral("Search the Application Directory only"), this);
    chkAppDir->setObjectName(QStringLiteral("chkAppDir"));
    chkAppDir->setAccessibleName(chkAppDir->text());
    chkAppDir->setFont(boldSansSerif(8.25));
    place(chkAppDir, chkAppDirPlace);

    for (QWidget* captioned :
        std::initializer_list<QWidget*> { cmdTest, cmdPrint, cmdExit, lblCaption[0], lblCaption[1], chkAppDir })
        fitCaption(captioned);
}

void frmTest::setUpKeyboard()
{
    setTabOrder(lstMatching, lstMissing);
    setTabOrder(lstMissing, cmdTest);
    setTabOrder(cmdTest, cmdPrint);
    setTabOrder(cmdPrint, cmdExit);
    setTabOrder(cmdExit, chkAppDir);
    lstMatching->setFocus();

    // Key preview: every control shows its keys to the window first.
    for (QWidget* control :
        std::initializer_list<QWidget*> { lstMatching, lstMissing, cmdTest, cmdPrint, cmdExit, chkAppDir })
        control->installEventFilter(this);
}

QPushButton* frmTest::button(Button which) const
{
    switch (which) {
    case Button::Test: return cmdTest;
    case Button::Print: return cmdPrint;
    case Button::Exit: return cmdExit;
    }
    return cmdExit;
}

LineListModel* frmTest::model(ListBox which) const { return which == ListBox::Matching ? m_matching : m_missing; }

void frmTest::setEnabled(Button which, bool enabled) { button(which)->setEnabled(enabled); }

void frmTest::clear(ListBox list) { model(list)->clear(); }

void frmTest::append(ListBox list, std::string_view line, std::string_view detail)
{
    // A list line is for reading: a name of megabytes from a broken list is
    // shortened on screen (the exceptions file keeps it whole).
    constexpr qsizetype longestShown = 1024;
    const int codePage = m_runtime.displayCodePage();
    model(list)->append(toDisplayText(line, codePage, longestShown),
        detail.empty() ? QString() : toDisplayText(detail, codePage, longestShown));
}

int frmTest::missingCount() const { return m_missing->lineCount(); }

bool frmTest::appDirOnly() const { return chkAppDir->isChecked(); }

void frmTest::pressExit() { cmdExit_Click(); }

void frmTest::showAllLines()
{
    m_matching->flush();
    m_missing->flush();
}

void frmTest::noteSignature(const ListSignatureNote& note)
{
    std::string comment = note.trustedComment;
    std::replace(comment.begin(), comment.end(), '\t', ' ');
    const QString text
        = QString::fromStdString(note.checked ? message::signedByInCaption(note.list, note.keyId, comment)
                                              : message::signatureNotCheckedInCaption(note.list));
    const QString title
        = QString::fromUtf8(message::applicationTitle.data(), qsizetype(message::applicationTitle.size()));
    setWindowTitle(
        windowTitle() == title ? title + QStringLiteral(" - ") + text : windowTitle() + QStringLiteral("; ") + text);
    lblCaption[0]->setToolTip(windowTitle().mid(title.size() + 3));
}

void frmTest::cmdTest_Click()
{
    // The signatures noted are those of this run only.
    setWindowTitle(QString::fromUtf8(message::applicationTitle.data(), qsizetype(message::applicationTitle.size())));
    lblCaption[0]->setToolTip({});
    m_testRunning = true;
    runTest(*this, m_runtime, {}, chosenLookupJobs);
    m_testRunning = false;
    showAllLines();
}

void frmTest::cmdPrint_Click() { printReport(*this, m_runtime); }

void frmTest::cmdExit_Click()
{
    // Unload the window, then end: the event loop stops as soon as the
    // command that asked for Exit has returned and closed its files.
    m_unloaded = true;
    close();
    QCoreApplication::exit(0);
}

void frmTest::Form_KeyPress(std::int16_t& keyAscii)
{
    if (keyAscii != 2)
        return;
    // A generation would rewrite the reference list a running test is
    // reading: it is not started, and the user is told so.
    if (m_testRunning) {
        m_runtime.showMessage(message::generationDuringTest);
        return;
    }
    // With a signing key configured the new lists are signed with it;
    // without one, a signature the new lists would no longer match is
    // removed, and said once the lists are in place. A key that cannot be
    // used leaves the old lists as they are.
    Result<ListSigning> signing = configuredSigning(m_runtime);
    if (!signing) {
        m_runtime.showMessage(std::string(message::referenceListNotBuilt) + signing.error().description);
        return;
    }
    std::vector<std::string> removed;
    signing->removed = [&removed](std::string_view file) { removed.emplace_back(file); };
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    generateReference(m_runtime, {}, DigestChoice::AsFound, *signing, chosenLookupJobs);
    QGuiApplication::restoreOverrideCursor();
    for (const std::string& file : removed)
        m_runtime.showMessage(message::unsignedListRemovedByCtrlB(file));
}

void frmTest::previewKey(QKeyEvent* event)
{
    std::int16_t keyAscii = characterCode(*event);
    Form_KeyPress(keyAscii);
}

bool frmTest::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || m_forwardingKey)
        return QWidget::eventFilter(watched, event);
    previewKey(static_cast<QKeyEvent*>(event));
    // Then the control gets the key as usual; should it pass the key up,
    // the window must not see it a second time.
    m_forwardingKey = true;
    QCoreApplication::sendEvent(watched, event); // passes the key up itself if ignored
    m_forwardingKey = false;
    event->accept(); // so the outer delivery does not pass it up again
    return true;
}

void frmTest::keyPressEvent(QKeyEvent* event)
{
    if (!m_forwardingKey)
        previewKey(event);
    QWidget::keyPressEvent(event);
}

void frmTest::endOnRequest()
{
    if (m_unloaded) {
        QCoreApplication::exit(0);
        return;
    }
    close();
}

void frmTest::closeEvent(QCloseEvent* event)
{
    m_unloaded = true;
    event->accept();
}

} // namespace deptest
