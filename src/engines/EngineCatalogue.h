#pragma once

#include "engines/PageRule.h"
#include "engines/PageText.h"
#include "util/Result.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace shoulu {

// The route that asks an engine with an HTTP GET of its query URL.
inline constexpr const char* kHttpRoute = "http";

// One engine as the program knows it: how it is asked and how its pages read.
struct CatalogueEngine
{
    QString key; // "baidu": the stored column and the word every output uses
    QString caption; // "百度": what the user sees
    QString url; // query URL up to the domain: "http://www.baidu.com/s?wd=site%3A"
    PageEncoding encoding = PageEncoding::Utf8; // of a page that does not say its own
    PageEncoding queryEncoding = PageEncoding::Gbk; // of the domain in the query URL
    bool enabled = true;
    QString note;
    QString route = QLatin1String(kHttpRoute); // the way it is asked
    int column = -1; // position among the seven stored engines; -1 beyond them
    bool fromUserFile = false; // the user's file changed or added this entry
    // In the order they are tried: the user's rules before the built-in ones.
    std::vector<PageRule> count;
    std::vector<PageRule> none;
    std::vector<PageRule> blocked;
    std::vector<PageRule> blockedUrl;
    // Where the engine may send a request on: a redirect to any other host is not followed.
    // Empty: redirectHosts() works them out from the URL and the blockedUrl rules.
    QStringList hosts;

    int ruleCount() const { return int(count.size() + none.size() + blocked.size() + blockedUrl.size()); }
    // The query URL for a domain: the prefix followed by the domain's bytes in the query
    // encoding, percent-encoded.
    QByteArray queryUrl(const QString& domain) const;
    // `hosts`, or by default the search host's registered domain and the hosts the blockedUrl
    // rules name literally. A host given covers its subdomains.
    QStringList redirectHosts() const;
};

// "google.com.hk" of "www.google.com.hk", "baidu.com" of "wappass.baidu.com": the last two
// labels, three under the two-level suffixes the engines use. An address stays as it is.
QString registeredDomain(const QString& host);

// How the catalogue file came to be read: the user named it (--engines, engines check), so it
// must be there and readable; or it is engines.json beside the database, which may be absent.
enum class CatalogueFile { Beside, Named };

// Every engine the program can ask: the seven stored ones first, in their fixed order, then
// the others. Built into the program, and read again with a user's file merged over it.
class EngineCatalogue
{
public:
    static constexpr const char* kDefaultUserAgent
        = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/142.0.0.0 "
          "Safari/537.36";

    // The catalogue compiled into the program.
    static const EngineCatalogue& builtIn();
    // The built-in catalogue with the user's file merged over it. A missing file is no error
    // when it is the one beside the database. A FIFO, device or folder in its place is refused.
    // Errors name the file, the line and the cause.
    static Result<EngineCatalogue> load(const QString& userFile, CatalogueFile kind = CatalogueFile::Beside);
    // engines.json in the folder of the database file.
    static QString userFileBeside(const QString& databasePath);

    const std::vector<CatalogueEngine>& engines() const { return m_engines; }
    const CatalogueEngine& engine(int i) const { return m_engines.at(std::size_t(i)); }
    int size() const { return int(m_engines.size()); }
    // By key (any letter case), caption, or column number "0".."6"; -1 when none fits.
    int find(const QString& text) const;
    // Positions of the engines that are asked, in order.
    std::vector<int> enabledEngines() const;
    const QString& userAgent() const { return m_userAgent; }
    // The user file merged in, or empty.
    const QString& userFile() const { return m_userFile; }

    // Writes "enabled" for the engine into the user file, creating it if need be; the rest
    // of the file is kept. Only a regular file is read and replaced.
    static Result<void> setEnabled(const QString& userFile, const QString& key, bool enabled);

private:
    Result<void> merge(const QByteArray& json, const QString& origin, bool builtIn);
    void indexNames();

    std::vector<CatalogueEngine> m_engines;
    // For find(): the first engine of each lower-case key, and of each caption and column number.
    QHash<QString, int> m_byKey;
    QHash<QString, int> m_byName;
    QString m_userAgent = QLatin1String(kDefaultUserAgent);
    QString m_userFile;
};

} // namespace shoulu
