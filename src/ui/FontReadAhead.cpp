#include "FontReadAhead.h"

#include <QFontDatabase>
#include <QStringList>

#include <fontconfig/fontconfig.h>

FontReadAhead::FontReadAhead()
    : m_worker([decision = m_decision.get_future()]() mutable {
          // Parses the configuration files and maps the font caches: most of
          // what the first font lookup costs.
          FcInit();
          // Qt's database sits behind one lock for every thread: a text laid
          // out meanwhile waits for this read instead of doing it again.
          if (decision.get())
              QFontDatabase::families();
      })
{
}

FontReadAhead::~FontReadAhead()
{
    decide(false);
}

void FontReadAhead::readDatabase()
{
    decide(true);
}

void FontReadAhead::decide(bool readDatabase)
{
    if (m_decided)
        return;
    m_decided = true;
    m_decision.set_value(readDatabase);
}
