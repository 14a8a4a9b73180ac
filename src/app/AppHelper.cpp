#include "app/AppHelper.h"

#include <QUrl>
#include <array>

#include "platform/Workspace.h"

namespace {

constexpr auto kHomePage = "https://www.example.com/stillpress";

QString HomePageAsQueryValue() {
    return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(kHomePage)));
}

// Indexed by AppHelper::Link.
const std::array<QString, 7>& AddressTable() {
    static const std::array<QString, 7> table = {
        QString::fromLatin1(kHomePage),
        QStringLiteral("https://www.example.com/stillpress/tutorial"),
        "https://www.facebook.com/sharer/sharer.php?u=" + HomePageAsQueryValue(),
        "https://plus.google.com/share?url=" + HomePageAsQueryValue(),
        "https://twitter.com/intent/tweet?url=" + HomePageAsQueryValue(),
        QStringLiteral("mailto:support@example.com"),
        QStringLiteral("https://www.example.com/automation"),
    };
    return table;
}

}  // namespace

QString AppHelper::AddressOf(Link link) {
    return AddressTable().at(static_cast<std::size_t>(link));
}

bool AppHelper::OpenURL(const QString& urlText) {
    if (urlText.trimmed().isEmpty()) return false;
    const QUrl url(urlText, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return false;
    return SharedWorkspace().openURL(urlText);
}

bool AppHelper::OpenSocialLink(long long index) const {
    const bool inTable = index >= static_cast<long long>(Link::Tutorial) &&
                         index <= static_cast<long long>(Link::SupportMail);
    if (!inTable) return false;
    return OpenURL(AddressOf(static_cast<Link>(index)));
}
