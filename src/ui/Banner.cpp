#include "ui/Banner.h"

#include "engines/GbkCodec.h"
#include "fetch/HTTPGet.h"
#include "ui/Skin.h"

#include <QDesktopServices>
#include <QFile>
#include <QRegularExpression>
#include <QTextDocument>

#include <exception>

namespace shoulu {

namespace {

// A charset meta sits in the head; no need to scan a whole page for it.
constexpr qsizetype CharsetScanLength = 4096;

bool namesGbk(const QByteArray& charset)
{
    const QByteArray name = charset.toLower();
    return name == "gbk" || name == "gb2312" || name == "gb18030" || name == "x-gbk" || name == "cp936"
        || name == "windows-936";
}

} // namespace

QString decodeBannerPage(const QByteArray& body)
{
    static const QRegularExpression charsetPattern(
        QStringLiteral(R"(<meta[^>]*charset\s*=\s*["']?\s*([A-Za-z0-9_\-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    if (!body.startsWith("\xEF\xBB\xBF")) {
        // Latin-1 keeps every byte as one character, so the ASCII markup can be searched safely.
        const QString head = QString::fromLatin1(body.left(CharsetScanLength));
        const QRegularExpressionMatch match = charsetPattern.match(head);
        if (match.hasMatch() && namesGbk(match.captured(1).toLatin1())) {
            // The core's decoder: Qt's own GB18030 codec needs ICU and is missing without it.
            return fromGbk(body);
        }
    }
    return QString::fromUtf8(body);
}

QString builtInBannerPage()
{
    Skin::ensureResources();
    QFile file(QStringLiteral(":/shoulu/banner.html"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

Banner::Banner(QWidget* parent)
    : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("WebBrowser1"));
    setFixedHeight(StripHeight);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QTextBrowser::anchorClicked, this, &Banner::openLink);
    applyStyling();
}

void Banner::navigate(const QByteArray& url)
{
    delete m_get; // an abandoned fetch reports nothing
    m_get = new THTTPGet(this);
    m_get->URL = url;
    m_get->UseCache = false;
    m_get->OnDoneString = [this](THTTPGet*, const QByteArray& body) { showPage(decodeBannerPage(body)); };
    m_get->OnError = [this](THTTPGet*) { showPage(builtInBannerPage()); };
    try {
        m_get->GetString();
    } catch (const std::exception&) {
        showPage(builtInBannerPage());
    }
}

void Banner::applyStyling()
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setLineWidth(0);
    setViewportMargins(0, 0, 0, 0);
    document()->setDocumentMargin(0);
}

bool Banner::isLoading() const
{
    return m_get != nullptr && m_get->isRunning();
}

QVariant Banner::loadResource(int type, const QUrl& name)
{
    // A remote page must not pull in files from this machine; only our own resources load.
    if (name.scheme() == QLatin1String("qrc")) {
        return QTextBrowser::loadResource(type, name);
    }
    return {};
}

void Banner::showPage(const QString& html)
{
    setHtml(html);
    Q_EMIT documentComplete();
}

void Banner::openLink(const QUrl& url)
{
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        QDesktopServices::openUrl(url);
    }
}

} // namespace shoulu
