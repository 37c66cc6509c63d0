#pragma once

#include <QByteArray>
#include <QString>
#include <QTextBrowser>

namespace shoulu {

class THTTPGet;

// The banner strip: shows the publisher's page, fetched in the background, or a built-in
// page when that fails. Nothing waits for it.
//     banner->navigate(Banner::PageUrl); // documentComplete follows once a page is shown
class Banner : public QTextBrowser
{
    Q_OBJECT

public:
    // We have no publisher site; the reserved .invalid host never resolves.
    static constexpr const char* PageUrl = "http://ad.shoulu.invalid/softad/Shoulu.html";
    static constexpr int StripHeight = 72;

    explicit Banner(QWidget* parent = nullptr);

    // Starts loading and returns at once; a load still running is abandoned.
    void navigate(const QByteArray& url);
    // No scroll bars, no margin, no border, whatever the page asked for.
    void applyStyling();
    bool isLoading() const;

    QVariant loadResource(int type, const QUrl& name) override;

Q_SIGNALS:
    void documentComplete();

private:
    void showPage(const QString& html);
    void openLink(const QUrl& url);

    THTTPGet* m_get = nullptr;
};

// The page text from its bytes: GBK when its charset meta names a GBK family code page,
// UTF-8 otherwise.
QString decodeBannerPage(const QByteArray& body);
// The page shown when the publisher's page cannot be fetched.
QString builtInBannerPage();

} // namespace shoulu
