#pragma once
// The maker's web addresses and the opening of links: web pages, share pages of social
// networks and the support e-mail, each in the user's default application for it.
//
// Stateless: each link action of the delegate makes one, uses it and drops it. Opening goes
// through the process-wide workspace (platform/Workspace.h); main thread.

#include <QString>

class AppHelper {
  public:
    // The address table. The share pages carry the home page as the shared address.
    enum class Link : int {
        HomePage = 0,
        Tutorial = 1,
        FacebookShare = 2,
        GooglePlusShare = 3,
        TwitterShare = 4,
        SupportMail = 5,
        AutomationSoftware = 6,
    };
    static QString AddressOf(Link link);

    // Opens the URL that `urlText` forms; an empty text, or one that is not an absolute
    // URL, opens nothing. True when the workspace took the URL.
    static bool OpenURL(const QString& urlText);
    // Opens the entry 1 (tutorial) to 5 (support e-mail) of the table; any other index opens
    // nothing.
    bool OpenSocialLink(long long index) const;
};
