#pragma once

#include <QDate>
#include <QList>
#include <QString>

class Browser;
class QUrl;
class ServerProcess;

// A small team with nine days of work, written through the server's own
// Store into a ServerProcess's database before it starts: entries (one on a
// project the server does not know and one with a start days ahead, both
// needing review), activity every
// minute, applications, and screenshots of yesterday and today. For the
// browser tests and the page screenshots.
struct WebTeam {
    struct Person {
        qint64 id = 0;
        QString email, password, name, role, timeZone;
    };
    Person lead;    // admin
    Person manager; // sees the team, runs nothing
    Person ann, ben; // members
    qint64 website = 0, mobile = 0, design = 0; // two projects, a task of the first
    QList<qint64> annShotsYesterday;

    // Seeds the server's database (not yet started). False on failure.
    bool seed(ServerProcess &server);
    // Signs `browser` in on the server at `base` as `who`, ending a session
    // still open there first; `who` null only signs out. False on failure
    // (the browser's error() says why).
    static bool signIn(Browser &browser, const QUrl &base, const Person *who);
    // Yesterday in `person`'s time zone.
    static QDate yesterday(const Person &person);
};
