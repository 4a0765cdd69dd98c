#pragma once

#include <thread>

// Reads the system's fonts on a worker thread while the program goes on
// starting, so that the first screen's text does not wait for them: the
// Fontconfig configuration and Qt's font database. Construct it once the
// QGuiApplication exists, and destroy it before anything sets an environment
// variable: Fontconfig reads the environment without a lock, and a variable
// set meanwhile can pull the environment from under it. Destroying it waits
// for the worker.
class FontReadAhead
{
public:
    FontReadAhead();

private:
    std::jthread m_worker;
};
