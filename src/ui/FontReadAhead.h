#pragma once

#include <future>
#include <thread>

// Reads the system's fonts on a worker thread while the program starts, so
// that the first screen's text does not wait for them: Fontconfig's
// configuration at once (it needs no application), then Qt's font database
// once readDatabase() says a window will be built. Construct it before the
// application, only when a window may show, and destroy it before the
// application: the worker is joined then.
class FontReadAhead
{
public:
    FontReadAhead();
    ~FontReadAhead();
    FontReadAhead(const FontReadAhead &) = delete;
    FontReadAhead &operator=(const FontReadAhead &) = delete;

    // Call once the QGuiApplication exists. At most once.
    void readDatabase();

private:
    void decide(bool readDatabase);

    std::promise<bool> m_decision;
    bool m_decided = false;
    std::jthread m_worker;
};
