#pragma once

#include "API.h"
#include "AppModel.h"
#include "AsyncTest.h"
#include "Keychain.h"
#include "SessionBus.h"
#include "TestEnv.h"
#include "TestServer.h"
#include "TrackingStore.h"

#include <QTest>

// One model against the loopback server, with private files, no real ticker
// and a clock the test moves. Everything else is the real thing, except what
// cannot happen in a test run: ten idle minutes and a chosen front window.
struct ModelFixture {
    TestEnv::IsolatedHome home;
    TestServer server;
    Instant clock = Instant::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(10, 0)));
    double idleSeconds = 0;
    // How far the wall clock has been set forward: the elapsed clock does not follow.
    double clockJump = 0;
    bool inputAllowed = false;
    QString frontmost = QStringLiteral("xterm");
    std::optional<ScreenShot> shot;
    int captureCalls = 0;
    std::function<void()> duringCapture;
    std::chrono::milliseconds selfTestDelay{50};
    QList<QPair<QString, QString>> notices;

    ModelFixture()
    {
        Keychain::remove(QStringLiteral("token"));
        API::setBaseURL(server.baseUrl());
        API::setTimeouts(std::chrono::milliseconds(3000), std::chrono::milliseconds(3000));
    }

    ~ModelFixture() { Keychain::remove(QStringLiteral("token")); }

    AppModel::Platform platform()
    {
        AppModel::Platform p = AppModel::Platform::system();
        p.runTicker = false;
        p.clock = [this] { return clock; };
        p.inputAllowed = [this] { return inputAllowed; };
        p.screenAllowed = [] { return true; };
        p.idleSeconds = [this] { return idleSeconds; };
        p.elapsed = [this] { return clock.seconds - clockJump; };
        p.frontmostApp = [this] { return frontmost; };
        p.capture = [this]() -> QCoro::Task<std::optional<ScreenShot>> {
            ++captureCalls;
            if (duringCapture)
                duringCapture();
            // A copy: returning the member itself would move it out of the fixture.
            co_return std::optional<ScreenShot>(shot);
        };
        p.notify = [this](const QString &title, const QString &body) { notices.append({title, body}); };
        p.selfTestDelay = selfTestDelay;
        return p;
    }

    std::unique_ptr<AppModel> make(AppModel::Launch launch = {})
    {
        return std::make_unique<AppModel>(platform(), launch);
    }

    // A model signed in through the server, loaded and settled.
    std::unique_ptr<AppModel> signedIn(const QString &email = QStringLiteral("member@example.com"))
    {
        auto model = make();
        AsyncTest::await(model->signIn(email, QStringLiteral("secret")));
        settle(*model);
        return model;
    }

    // Lets change signals arrive and every pass they start finish.
    static void settle(AppModel &model)
    {
        for (int round = 0; round < 3; ++round) {
            SessionBus::flush();
            QTest::qWait(30);
            QVERIFY(TestEnv::waitFor([&] { return !model.syncing(); }, 10000));
        }
    }

    // Runs passes until nothing waits to be sent: a pass that is still busy
    // (say, an offline one failing slowly) makes a new one return at once.
    static void syncAll(AppModel &model)
    {
        for (int i = 0; i < 20 && (model.needsSync() || model.syncing()); ++i) {
            settle(model);
            AsyncTest::await(model.syncNow());
            settle(model);
        }
    }

    // One start and stop made while the server cannot be reached: a queued stop.
    void queueStopOffline(AppModel &model)
    {
        offline();
        model.setRunning(true);
        model.setRunning(false);
        settle(model);
        online();
    }

    void offline() { API::setBaseURL(QUrl(QStringLiteral("http://127.0.0.1:1/api/v1/"))); }
    void online() { API::setBaseURL(server.baseUrl()); }

    // Paths of the requests that reached the server, in order, without the reads.
    QStringList timerRequests() const
    {
        QStringList paths;
        for (const auto &r : server.requests())
            if (r.path == u"time/start" || r.path == u"time/stop")
                paths.append(r.path);
        return paths;
    }
};
