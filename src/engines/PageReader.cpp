#include "engines/PageReader.h"

#include "engines/CountExtractor.h"
#include "engines/FigureText.h"

#include <QUrl>

namespace shoulu {

namespace {

Reading make(ReadingStatus status, Count count, QString rule, QString error = {})
{
    Reading reading;
    reading.status = status;
    reading.count = count;
    reading.rule = std::move(rule);
    reading.error = std::move(error);
    return reading;
}

QString gaveUpText(const PageRule& rule)
{
    return QStringLiteral("the rule \"%1\" needed more work than allowed on this page").arg(rule.name());
}

// The first rule that gave up is named in the reading, whichever rule decided after it.
Reading withGaveUp(Reading reading, const PageRule* gaveUp)
{
    if (gaveUp != nullptr) {
        const QString text = gaveUpText(*gaveUp);
        reading.error = reading.error.isEmpty() ? text : reading.error + QStringLiteral("; ") + text;
    }
    return reading;
}

} // namespace

QString hostOf(const QByteArray& url)
{
    return QUrl::fromEncoded(url).host();
}

Reading offReading()
{
    return make(ReadingStatus::Off, 0, QString(), QStringLiteral("switched off"));
}

Reading readPage(const CatalogueEngine& engine, const QByteArray& body, const QByteArray& contentType)
{
    // The fixed markers come first: a page that carries them reads exactly as it always did.
    if (const std::optional<Count> marked
        = engine.column >= 0 ? ExtractMarkedCount(engine.column, body) : std::nullopt) {
        if (*marked >= 0) {
            return make(ReadingStatus::Counted, *marked, QStringLiteral("markers"));
        }
        return make(ReadingStatus::Unreadable, -1, QStringLiteral("markers"),
            QStringLiteral("the text between the markers is not a number"));
    }
    const PageEncoding encoding = detectEncoding(contentType, body, engine.encoding);
    const QString text = decodePage(body, encoding);
    const QByteArrayView raw = encoding == PageEncoding::Utf8 ? QByteArrayView(body) : QByteArrayView();
    const Count fallback = 0; // no markers: the fixed rules give 0

    // A rule that gives up decides nothing: the next rules still read the page.
    const PageRule* gaveUp = nullptr;
    const auto tryRule = [&](const PageRule& rule) {
        PageRule::Outcome outcome = rule.match(text, raw);
        if (outcome.gaveUp && gaveUp == nullptr) {
            gaveUp = &rule;
        }
        return outcome;
    };
    for (const PageRule& rule : engine.count) {
        const PageRule::Outcome outcome = tryRule(rule);
        if (outcome.matched) {
            const Count figure = readHumanFigure(outcome.figure);
            if (figure >= 0) {
                return withGaveUp(make(ReadingStatus::Counted, figure, rule.name()), gaveUp);
            }
            return withGaveUp(make(ReadingStatus::Unreadable, -1, rule.name(),
                                  QStringLiteral("\"%1\" is not a count").arg(outcome.figure.left(80))),
                gaveUp);
        }
    }
    for (const auto* rules : { &engine.none, &engine.blocked }) {
        for (const PageRule& rule : *rules) {
            if (tryRule(rule).matched) {
                const ReadingStatus status
                    = rule.kind() == RuleKind::None ? ReadingStatus::None : ReadingStatus::Blocked;
                return withGaveUp(make(status, fallback, rule.name()), gaveUp);
            }
        }
    }
    if (gaveUp != nullptr) {
        return make(ReadingStatus::Unreadable, fallback, gaveUp->name(), gaveUpText(*gaveUp));
    }
    return make(ReadingStatus::Unreadable, fallback, QString(), QStringLiteral("no rule understands the page"));
}

Reading readReply(const CatalogueEngine& engine, const Reply& reply)
{
    // A failed or blocked reading stores 0, whatever figure its page may carry: that page is
    // not the engine's answer to the query.
    Reading reading = [&] {
        const int http = reply.httpStatus;
        if (http == 403 || http == 429) {
            return make(ReadingStatus::Blocked, 0, QStringLiteral("http %1").arg(http));
        }
        const QString finalUrl = QString::fromUtf8(reply.finalUrl);
        for (const PageRule& rule : engine.blockedUrl) {
            if (rule.match(finalUrl).matched) {
                return make(ReadingStatus::Blocked, 0, rule.name());
            }
        }
        if (!reply.refusedRedirect.isEmpty()) {
            const QString target = QString::fromUtf8(reply.refusedRedirect);
            for (const PageRule& rule : engine.blockedUrl) {
                if (rule.match(target).matched) {
                    return make(ReadingStatus::Blocked, 0, rule.name());
                }
            }
            return make(ReadingStatus::Unreadable, 0, QStringLiteral("redirect"),
                QStringLiteral("sent to %1").arg(hostOf(reply.refusedRedirect)));
        }
        if (!reply.arrived) {
            return make(ReadingStatus::Failed, 0, QString(),
                reply.error.isEmpty() ? QStringLiteral("no page came back") : reply.error);
        }
        if (reply.cutShort) {
            const qsizetype got = reply.body.size();
            return make(ReadingStatus::Failed, 0, QStringLiteral("cut short"),
                reply.announcedBytes > got
                    ? QStringLiteral("reply cut short after %1 of %2 bytes").arg(got).arg(reply.announcedBytes)
                    : QStringLiteral("reply cut short after %1 bytes (%2)")
                          .arg(got)
                          .arg(reply.error.isEmpty() ? QStringLiteral("the transfer broke off") : reply.error));
        }
        if (http >= 400) {
            return make(ReadingStatus::Failed, 0, QStringLiteral("http %1").arg(http),
                QStringLiteral("the engine answered HTTP %1").arg(http));
        }
        Reading page = readPage(engine, reply.body, reply.contentType);
        if (page.status == ReadingStatus::Unreadable && page.error.isEmpty()) {
            page.error = QStringLiteral("no rule understands the page");
        }
        return page;
    }();
    reading.httpStatus = reply.httpStatus;
    reading.finalHost = hostOf(reply.finalUrl);
    reading.fetchedAt = reply.fetchedAt;
    if (reading.status == ReadingStatus::Unreadable && reading.rule.isEmpty() && !reading.finalHost.isEmpty()) {
        reading.error = QStringLiteral("no rule understands the page from %1").arg(reading.finalHost);
    }
    return reading;
}

} // namespace shoulu
