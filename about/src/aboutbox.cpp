#include "about/aboutbox.h"

#include <QDesktopServices>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>

#include "automation/resources.h"
#include "windowing/handles.h"

// Outside any namespace, as Q_INIT_RESOURCE must be: it also makes the linker
// take the picture's resource object into every library that shows the box.
static void initAboutResources() {
    Q_INIT_RESOURCE(about);
}

namespace about {

namespace {

Q_LOGGING_CATEGORY(aboutLog, "velmora.about", QtWarningMsg)

using windowing::twipsToPixels;

const QString Title = QStringLiteral("Lumorel 3.0");
const QString Notice = QStringLiteral("Copyright (c) 2003-2005 Tollerby Lamp Works");
const QString Mail = QStringLiteral("info@tollerby-lamps.example");
const QString Home = QStringLiteral("http://www.tollerby-lamps.example");
const QString HomeQuery = QStringLiteral("/?page=ax&prog=vesper7");
const QString Background = QStringLiteral(":/velmora/about/background.jpg");

// Shape1, the card's frame, in twips; the window is 15 twips larger.
constexpr int ShapeLeft = 15, ShapeTop = 15, ShapeWidth = 5235, ShapeHeight = 2625;
constexpr int LabelHeight = 195;
const QColor Normal(255, 255, 255);
const QColor Highlighted(0, 0, 192); // 0xC00000 as the system writes colours (0x00BBGGRR)

class AboutWindow;

// The two links: a left-button release opens their target. The window moves
// the highlight as the pointer moves.
class Link : public QLabel {
  public:
    Link(AboutWindow *window, const QString &text, QUrl target);

  protected:
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *e) override {
        if (e->button() == Qt::LeftButton)
            QDesktopServices::openUrl(target_); // nothing happens when no program takes it
    }

  private:
    AboutWindow *window_;
    QUrl target_;
};

// frmAbout: the borderless card. A click on its background (inside the frame
// too) closes it; a click on a label does nothing.
class AboutWindow : public QDialog {
  public:
    AboutWindow(const Product &product, const QString &versionLine) {
        setObjectName(QStringLiteral("frmAbout"));
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
        setWindowTitle(Title);
        QPixmap noIcon(16, 16); // the card has no icon of its own, not even the program's
        noIcon.fill(Qt::transparent);
        setWindowIcon(noIcon);
        setMouseTracking(true);
        if (!background_.load(Background))
            qCWarning(aboutLog) << "the background picture" << Background << "cannot be read";
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(11);
        font.setWeight(QFont::Normal);
        setFont(font);

        // Created in this order; each label is as wide as its text.
        url_ = place(new Link(this, Home, QUrl(Home + HomeQuery)), "lUrl", 990, 2295);
        mail_ =
            place(new Link(this, Mail, QUrl(QStringLiteral("mailto:") + Mail)), "lMail", 585, 2070);
        place(new QLabel(QStringLiteral("Home page:"), this), "Label5", 90, 2295);
        place(new QLabel(QStringLiteral("E-mail:"), this), "Label4", 90, 2070);
        place(new QLabel(versionLine, this), "Label3", 90, 1620);
        QLabel *line = new QLabel(product.line, this);
        QFont bold = font;
        bold.setWeight(QFont::Bold);
        line->setFont(bold);
        place(line, "Label2", 90, 1395);
        place(new QLabel(Notice, this), "Label1", 90, 1845);

        setFixedSize(twipsToPixels(ShapeWidth + 15), twipsToPixels(ShapeHeight + 15));
        const QRect screen = this->screen()->availableGeometry();
        move(screen.center() - rect().center());
    }

    // Highlights one link (none for the background) and returns the other to normal.
    void highlight(QLabel *link) {
        for (QLabel *l : {mail_, url_}) {
            QFont f = l->font();
            f.setUnderline(l == link);
            l->setFont(f);
            QPalette p = l->palette();
            p.setColor(QPalette::WindowText, l == link ? Highlighted : Normal);
            l->setPalette(p);
        }
    }

  protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        p.drawPixmap(0, 0, background_);
        p.setPen(QColor(40, 20, 8));
        p.drawRect(QRect(twipsToPixels(ShapeLeft),
                         twipsToPixels(ShapeTop),
                         twipsToPixels(ShapeWidth),
                         twipsToPixels(ShapeHeight))
                       .adjusted(0, 0, -1, -1));
    }
    void mouseMoveEvent(QMouseEvent *) override { highlight(nullptr); }
    void mouseReleaseEvent(QMouseEvent *e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
            accept();
    }
    // The card has no keyboard handling of its own (a dialog's Escape included).
    void keyPressEvent(QKeyEvent *e) override { QWidget::keyPressEvent(e); }

  private:
    template <class L> L *place(L *label, const char *name, int left, int top) {
        label->setObjectName(QLatin1String(name));
        // Labels keep their clicks: unhandled, they would reach the window and close it.
        label->setAttribute(Qt::WA_NoMousePropagation);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Normal);
        label->setPalette(p);
        label->setGeometry(twipsToPixels(left),
                           twipsToPixels(top),
                           label->sizeHint().width(),
                           twipsToPixels(LabelHeight));
        return label;
    }

    QPixmap background_;
    QLabel *mail_ = nullptr;
    QLabel *url_ = nullptr;
};

Link::Link(AboutWindow *window, const QString &text, QUrl target)
    : QLabel(text, window), window_(window), target_(std::move(target)) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
}

void Link::mouseMoveEvent(QMouseEvent *) {
    window_->highlight(this);
}

} // namespace

automation::Result<> showAboutBox(const Product &product) {
    initAboutResources(); // registers once however often it is called
    // The version line comes from the version block of the library this code is linked into.
    const std::vector<automation::Resource> all = TRY(automation::ownResources());
    const automation::VersionBlock version = TRY(automation::VersionBlock::parse(
        TRY(automation::findResource(all, QStringLiteral("VERSION"), QStringLiteral("1")))));
    const QString versionLine = QStringLiteral("Version %1.%2.%3")
                                    .arg(version.major)
                                    .arg(version.minor)
                                    .arg(version.revision) +
                                product.platformText;

    // A fresh window each time, shown modally with no owner and gone when it closes.
    AboutWindow window(product, versionLine);
    window.exec();
    return {};
}

} // namespace about
