#include "ui/Unit_main.h"

#include "bank/bankerror.h"
#include "bank/connection.h"
#include "bank/query.h"
#include "bank/store.h"
#include "practice/random.h"
#include "skin/jyskin.h"
#include "ui/apppath.h"
#include "ui/bankcare.h"
#include "ui/bannerview.h"
#include "ui/jpegimage.h"
#include "ui/linklabel.h"
#include "ui/links.h"
#include "ui/messageboxes.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int kSkin = 27;
constexpr int kClientWidth = 772;
constexpr int kClientHeight = 442;
constexpr int kBandHeight = 65;

QFont songFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

template <typename T> T *make(QWidget *parent, const char *name)
{
    auto *widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// Enter held down repeats its press, and an auto-default button would click
// on each repeat (it already ignores a held Space).
class HeldEnterFilter : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        return key->isAutoRepeat() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
    }
};

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *button = make<QPushButton>(parent, name);
    button->setText(text);
    button->setGeometry(geometry);
    // Enter presses the focused button, as Space does.
    button->setAutoDefault(true);
    button->installEventFilter(new HeldEnterFilter(button));
    return button;
}

QPlainTextEdit *makeMemo(QWidget *parent, const char *name)
{
    auto *memo = make<QPlainTextEdit>(parent, name);
    memo->setGeometry(12, 3, 729, 257);
    memo->setReadOnly(true);
    memo->setFocusPolicy(Qt::StrongFocus);
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return memo;
}

// A label whose width follows its text.
QLabel *makeAutoLabel(QWidget *parent, const char *name, QPoint position, const QString &text)
{
    auto *label = make<QLabel>(parent, name);
    label->move(position);
    label->setText(text);
    label->adjustSize();
    return label;
}

void setAutoLabelText(QLabel *label, const QString &text)
{
    label->setText(text);
    label->adjustSize();
}

ui::LinkLabel *makeLink(QWidget *parent, const char *name, const QString &text, QRect geometry,
                        const QColor &colour)
{
    auto *label = make<ui::LinkLabel>(parent, name);
    label->setText(text);
    label->setGeometry(geometry);
    QFont font = songFont(16);
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

// Memos show a question as text; a stored CR LF must not show up as a stray
// mark. A very long line is shown in pieces: the text layout grows much faster
// than linearly with the length of a paragraph, and one line of a few
// megabytes would freeze the window. A piece ends after a blank near its end
// where there is one, and never inside a surrogate pair.
QString plainLines(const QString &text)
{
    constexpr qsizetype kLongestLine = 4096;
    constexpr qsizetype kBlankWindow = 256;
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (lines.size() <= kLongestLine)
        return lines;
    QString shown;
    shown.reserve(lines.size() + lines.size() / kLongestLine + 1);
    const QStringView all(lines);
    for (qsizetype start = 0; start < all.size();) {
        const qsizetype newline = all.indexOf(QLatin1Char('\n'), start);
        const qsizetype end = newline < 0 ? all.size() : newline;
        while (end - start > kLongestLine) {
            qsizetype cut = start + kLongestLine;
            qsizetype blank = cut;
            while (blank > cut - kBlankWindow && !all.at(blank - 1).isSpace())
                --blank;
            if (blank > cut - kBlankWindow)
                cut = blank;
            else if (all.at(cut).isLowSurrogate())
                --cut;
            shown += all.sliced(start, cut - start);
            shown += QLatin1Char('\n');
            start = cut;
        }
        shown += all.sliced(start, end - start);
        if (newline >= 0)
            shown += QLatin1Char('\n');
        start = end + 1;
    }
    return shown;
}

} // namespace

// Resources compiled into a static library must be registered by hand.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

TForm_main::TForm_main(QWidget *parent) : QWidget(parent), m_drill(*this)
{
    initResources();
    setObjectName(QStringLiteral("Form_main"));
    buildLayout();
    FormCreate();
}

TForm_main::~TForm_main() = default;

void TForm_main::buildLayout()
{
    setWindowTitle(QStringLiteral("Kelvaro"));
    setFont(songFont(16));

    pnl1 = make<QFrame>(this, "pnl1");
    pnl1->setFrameShape(QFrame::Panel);
    pnl1->setFrameShadow(QFrame::Raised);
    pnl1->setGeometry(0, 0, kClientWidth, kBandHeight);
    lbl1 = makeLink(pnl1, "lbl1",
                    QStringLiteral("下载最新软件(官网") + ui::kMakerHost + QLatin1Char(')'),
                    QRect(464, 9, 256, 16), QColor(0x00, 0x00, 0xFF));
    lbl2 = makeLink(pnl1, "lbl2", QStringLiteral("为作者提供最新的题库"), QRect(520, 42, 160, 16),
                    QColor(0x80, 0x00, 0x00));
    btn1 = makeButton(pnl1, "btn1", QStringLiteral("新题练习"), QRect(16, 9, 121, 49));
    btn2 = makeButton(pnl1, "btn2", QStringLiteral("旧题复习"), QRect(160, 9, 121, 49));
    btn3 = makeButton(pnl1, "btn3", QStringLiteral("随机练习"), QRect(312, 9, 121, 49));

    PageControl1 = make<QStackedWidget>(this, "PageControl1");
    PageControl1->setGeometry(0, kBandHeight, kClientWidth, kClientHeight - kBandHeight);

    ts1 = make<QWidget>(PageControl1, "ts1");
    img1 = make<ui::BannerView>(ts1, "img1");
    auto *bannerLayout = new QVBoxLayout(ts1);
    bannerLayout->setContentsMargins(0, 0, 0, 0);
    bannerLayout->addWidget(img1);
    QFile banner(QStringLiteral(":/kelvaro/banner.jpg"));
    if (banner.open(QIODevice::ReadOnly))
        img1->setImage(ui::decodeJpeg(banner.readAll()));

    ts2 = make<QWidget>(PageControl1, "ts2");
    mmo1 = makeMemo(ts2, "mmo1");
    lbl3 = makeAutoLabel(ts2, "lbl3", QPoint(48, 304), QString());
    btn4 = makeButton(ts2, "btn4", QStringLiteral("上一题"), QRect(176, 288, 129, 49));
    btn5 = makeButton(ts2, "btn5", QStringLiteral("下一题"), QRect(392, 288, 129, 49));
    btn6 = makeButton(ts2, "btn6", QStringLiteral("开始测试"), QRect(600, 288, 129, 49));

    ts3 = make<QWidget>(PageControl1, "ts3");
    lbl4 = makeAutoLabel(ts3, "lbl4", QPoint(599, 296), QString());
    lbl5 = makeAutoLabel(ts3, "lbl5", QPoint(40, 280), QString());
    btn7 = makeButton(ts3, "btn7", QStringLiteral("下一题"), QRect(432, 315, 129, 49));
    btn8 = makeButton(ts3, "btn8", QStringLiteral("上一题"), QRect(216, 315, 129, 49));
    mmo2 = makeMemo(ts3, "mmo2");
    btn9 = makeButton(ts3, "btn9", QStringLiteral("再复习下"), QRect(12, 315, 129, 49));
    btn10 = makeButton(ts3, "btn10", QStringLiteral("A"), QRect(232, 266, 57, 41));
    btn11 = makeButton(ts3, "btn11", QStringLiteral("B"), QRect(320, 266, 57, 41));
    btn12 = makeButton(ts3, "btn12", QStringLiteral("C"), QRect(408, 266, 57, 41));
    btn13 = makeButton(ts3, "btn13", QStringLiteral("D"), QRect(488, 266, 57, 41));

    PageControl1->addWidget(ts1);
    PageControl1->addWidget(ts2);
    PageControl1->addWidget(ts3);
    // The stored layout opens on the study page; start-up moves to the banner.
    PageControl1->setCurrentWidget(pageWidget(practice::StudyPage));

    const QList<QWidget *> tabOrder = {btn1, btn2, btn3, lbl1, lbl2,  mmo1,  btn4,  btn5, btn6,
                                       btn7, btn8, mmo2, btn9, btn10, btn11, btn12, btn13};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    ADOConnection1 = new bank::Connection(this);
    ADOConnection1->setObjectName(QStringLiteral("ADOConnection1"));
    ADOConnection1->setLoginPrompt(false);
    ADOQuery1 = new bank::Query(this);
    ADOQuery1->setObjectName(QStringLiteral("ADOQuery1"));
    ADOQuery1->setConnection(ADOConnection1);

    connect(btn1, &QPushButton::clicked, this, [this] {
        if (m_newPracticeDone.isValid() &&
            m_newPracticeDone.elapsed() < QApplication::doubleClickInterval())
            return;
        if (guarded([this] { btn1Click(); }))
            m_newPracticeDone.start();
    });
    wire(btn2, &TForm_main::btn2Click);
    wire(btn3, &TForm_main::btn3Click);
    wire(btn4, &TForm_main::btn4Click);
    wire(btn5, &TForm_main::btn5Click);
    wire(btn6, &TForm_main::btn6Click);
    wire(btn7, &TForm_main::btn7Click);
    wire(btn8, &TForm_main::btn8Click);
    wire(btn9, &TForm_main::btn9Click);
    for (QPushButton *answer : {btn10, btn11, btn12, btn13}) {
        connect(answer, &QPushButton::clicked, this,
                [this, answer] { guarded([this, answer] { btn10Click(answer); }); });
    }
    connect(lbl1, &ui::LinkLabel::clicked, this, [this] { guarded([this] { lbl1Click(); }); });
    connect(lbl2, &ui::LinkLabel::clicked, this, [this] { guarded([this] { lbl2Click(); }); });

    buildKeyboard();
    nameForScreenReaders();

    // A bank made from an author's file: by key anywhere in the window, from
    // the banner's menu, or by dropping the file on the window.
    m_bankCare = new ui::BankCare(this, *ADOConnection1, *ADOQuery1);
    auto *import = new QAction(QStringLiteral("从文件导入题库…"), this);
    import->setObjectName(QStringLiteral("importBank"));
    import->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    import->setShortcutContext(Qt::WindowShortcut);
    connect(import, &QAction::triggered, this, [this] { guarded([this] { importBank(); }); });
    addAction(import);
    img1->addAction(import);
    img1->setContextMenuPolicy(Qt::ActionsContextMenu);
    setAcceptDrops(true);

    resize(kClientWidth, kClientHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm_main::wire(QPushButton *button, void (TForm_main::*handler)())
{
    connect(button, &QPushButton::clicked, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
}

void TForm_main::buildKeyboard()
{
    using K = QKeySequence;
    addShortcut(this, btn1, {K(Qt::CTRL | Qt::Key_1)});
    addShortcut(this, btn2, {K(Qt::CTRL | Qt::Key_2)});
    addShortcut(this, btn3, {K(Qt::CTRL | Qt::Key_3)});
    const QList<K> previous = {K(Qt::Key_Left), K(Qt::Key_PageUp)};
    const QList<K> next = {K(Qt::Key_Right), K(Qt::Key_PageDown)};
    addShortcut(ts2, btn4, previous);
    addShortcut(ts2, btn5, next);
    addShortcut(ts2, btn6, {K(Qt::CTRL | Qt::Key_T)});
    addShortcut(ts3, btn8, previous);
    addShortcut(ts3, btn7, next);
    addShortcut(ts3, btn9, {K(Qt::CTRL | Qt::Key_R)});
    const QList<QPushButton *> answers = {btn10, btn11, btn12, btn13};
    for (int i = 0; i < answers.size(); ++i) {
        const auto letter = Qt::Key(Qt::Key_A + i);
        const auto digit = Qt::Key(Qt::Key_1 + i);
        // Caps Lock gives the plain key, Shift the shifted one: either case works.
        addShortcut(ts3, answers.at(i),
                    {K(letter), K(digit), K(Qt::SHIFT | letter), K(Qt::KeypadModifier | digit)});
    }
}

void TForm_main::addShortcut(QWidget *scope, QPushButton *button, const QList<QKeySequence> &keys)
{
    // A shortcut belongs to the page it sits on: it is live only while that
    // page shows, so the same key can serve both pages.
    auto *shortcut = new QShortcut(scope);
    shortcut->setKeys(keys);
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(false);
    connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isVisible() && button->isEnabled())
            button->click();
    });
    QStringList names;
    for (const QKeySequence &key : keys.mid(0, 2))
        names.append(key.toString(QKeySequence::NativeText));
    m_keyNames.insert(button, names.join(QStringLiteral(" 或 ")));
    button->setToolTip(button->text() + QStringLiteral("（") + keysDescription(button) +
                       QStringLiteral("）"));
    button->setAccessibleDescription(keysDescription(button));
}

QString TForm_main::keysDescription(const QPushButton *button) const
{
    return QStringLiteral("快捷键：") + m_keyNames.value(button);
}

void TForm_main::nameForScreenReaders()
{
    setAccessibleDescription(QStringLiteral("选择题练习"));
    pnl1->setAccessibleName(QStringLiteral("练习方式"));
    PageControl1->setAccessibleName(QStringLiteral("练习页面"));
    ts1->setAccessibleName(QStringLiteral("首页"));
    ts2->setAccessibleName(QStringLiteral("学习页"));
    ts3->setAccessibleName(QStringLiteral("测试页"));
    img1->setAccessibleName(QStringLiteral("Kelvaro 横幅"));
    img1->setAccessibleDescription(
        QStringLiteral("欢迎使用 Kelvaro。按新题练习、旧题复习或随机练习开始一组题。"));
    mmo1->setAccessibleName(QStringLiteral("题目和答案"));
    mmo2->setAccessibleName(QStringLiteral("题目"));
    lbl3->setAccessibleDescription(QStringLiteral("当前题号/本组题数"));
    lbl5->setAccessibleDescription(QStringLiteral("当前题号/本组题数"));
    setProgressText(practice::StudyPage, lbl3->text());
    setProgressText(practice::TestPage, lbl5->text());
    setFeedbackText(lbl4->text());
}

QWidget *TForm_main::pageWidget(practice::Page page) const
{
    switch (page) {
    case practice::BannerPage:
        break;
    case practice::StudyPage:
        return ts2;
    case practice::TestPage:
        return ts3;
    }
    return ts1;
}

void TForm_main::focusPage(practice::Page page)
{
    // Where the next key is useful: the mode buttons, paging on, the answers.
    QWidget *target = page == practice::TestPage    ? btn10
                      : page == practice::StudyPage ? btn5
                                                    : btn1;
    target->setFocus(Qt::OtherFocusReason);
}

void TForm_main::announceAnswer(QPushButton *sender, bool movedOn)
{
    // A very long question is read only in its beginning; the page holds it all.
    constexpr qsizetype kSpokenQuestion = 1000;
    QString spoken = lbl4->text();
    if (movedOn) {
        const QString &next = m_drill.set().tmlist[size_t(m_drill.set().tmindex)].tm;
        spoken += QStringLiteral("。下一题：") +
                  (next.size() > kSpokenQuestion ? next.left(kSpokenQuestion) + QStringLiteral("……")
                                                 : next);
    }
    const QString description = spoken + QStringLiteral("。") + keysDescription(sender);
    // Screen readers speak a change of the focused control's description, and
    // its name and description when the focus moves to it.
    sender->setAccessibleDescription(description);
    QAccessibleEvent changed(sender, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
    for (QPushButton *other : {btn10, btn11, btn12, btn13})
        if (other != sender)
            other->setAccessibleDescription(keysDescription(other));
    QAccessibleEvent alert(lbl4, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    sender->setFocus(Qt::OtherFocusReason);
}

bool TForm_main::guarded(const std::function<void()> &handler)
{
    // A modal box runs its own event loop: nothing of this window may run
    // beneath it, whether by mouse, key or a screen reader's action.
    if (m_handlerRunning || QApplication::activeModalWidget())
        return false;
    m_handlerRunning = true;
    const auto done = qScopeGuard([this] { m_handlerRunning = false; });
    try {
        finishStartUp();
        handler();
    } catch (const bank::BankError &error) {
        m_bankCare->showProblem(error);
    } catch (const std::exception &error) {
        ui::showErrorBox(QString::fromUtf8(error.what()));
    } catch (...) {
        ui::showErrorBox(QStringLiteral("未知错误"));
    }
    return true;
}

void TForm_main::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    pnl1->setGeometry(0, 0, width(), kBandHeight);
    PageControl1->setGeometry(0, kBandHeight, width(), qMax(0, height() - kBandHeight));
}

void TForm_main::FormCreate()
{
    useskin(kSkin);
    practice::seedRandomFromClock();
    PageControl1->setCurrentWidget(pageWidget(practice::BannerPage));
    focusPage(practice::BannerPage);
    // The window shows first: the banner needs neither the bank (an older
    // bank's password takes long to check) nor the large bold faces of the
    // hidden pages, whose loading costs more than the rest of the window.
    m_startUpPending = true;
}

void TForm_main::finishStartUp()
{
    if (!std::exchange(m_startUpPending, false))
        return;
    mmo1->setFont(songFont(24, true));
    mmo2->setFont(songFont(24, true));
    lbl4->setFont(songFont(48, true));
    setFeedbackText(QStringLiteral("请选择"));
    if (ADOConnection1->isConnected())
        return;
    const QString path = AppFilePath(bank::kBankFileName);
    ConnectAccessDb(*ADOConnection1, path, bank::kBankPassword);
    OpenTable(*ADOQuery1, bank::kQuestionTable);
}

void TForm_main::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (m_startUpPending)
        QTimer::singleShot(0, this, &TForm_main::finishStartUp);
}

void TForm_main::showtm(int atype)
{
    m_drill.showtm(atype);
}

void TForm_main::btn1Click()
{
    m_drill.newPractice(*ADOQuery1);
}

void TForm_main::btn2Click()
{
    m_drill.review(*ADOQuery1);
}

void TForm_main::btn3Click()
{
    m_drill.randomPractice(*ADOQuery1);
}

void TForm_main::btn4Click()
{
    m_drill.previous(practice::StudyPage);
}

void TForm_main::btn5Click()
{
    m_drill.next(practice::StudyPage);
}

void TForm_main::btn6Click()
{
    m_drill.startTest();
}

void TForm_main::btn7Click()
{
    m_drill.next(practice::TestPage);
}

void TForm_main::btn8Click()
{
    m_drill.previous(practice::TestPage);
}

void TForm_main::btn9Click()
{
    m_drill.backToStudy();
}

void TForm_main::btn10Click(QPushButton *sender)
{
    const int before = m_drill.set().tmindex;
    m_drill.answer(sender->text());
    announceAnswer(sender, m_drill.set().tmindex != before);
}

void TForm_main::lbl1Click()
{
    ShellOpen(ui::kMakerSite, QString(), ui::SW_SHOWNORMAL);
}

void TForm_main::lbl2Click()
{
    ShellOpen(ui::contactAddress(), QString(), ui::SW_SHOWNORMAL);
}

void TForm_main::importBank(const QString &file)
{
    m_bankCare->importFile(file);
}

void TForm_main::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.constFirst().isLocalFile())
        event->acceptProposedAction();
}

void TForm_main::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    const QString file = urls.constFirst().toLocalFile();
    event->acceptProposedAction();
    // The import opens dialogs of its own: not from inside the drop.
    QTimer::singleShot(0, this, [this, file] { guarded([this, file] { importBank(file); }); });
}

void TForm_main::setQuestionText(practice::Page page, const QString &text)
{
    (page == practice::StudyPage ? mmo1 : mmo2)->setPlainText(plainLines(text));
}

void TForm_main::setProgressText(practice::Page page, const QString &text)
{
    QLabel *label = page == practice::StudyPage ? lbl3 : lbl5;
    setAutoLabelText(label, text);
    const QString what =
        page == practice::StudyPage ? QStringLiteral("学习进度") : QStringLiteral("测试进度");
    label->setAccessibleName(text.isEmpty() ? what : what + QLatin1Char(' ') + text);
}

void TForm_main::setFeedbackText(const QString &text)
{
    setAutoLabelText(lbl4, text);
    lbl4->setAccessibleName(QStringLiteral("答题结果：") + text);
}

void TForm_main::showPage(practice::Page page)
{
    PageControl1->setCurrentWidget(pageWidget(page));
    focusPage(page);
}

void TForm_main::showInfo(const QString &text)
{
    ShowInfo(text);
}
