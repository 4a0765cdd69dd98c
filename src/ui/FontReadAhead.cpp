#include "FontReadAhead.h"

#include <QFontDatabase>
#include <QStringList>

FontReadAhead::FontReadAhead()
    : m_worker([] {
          // Qt's database sits behind one lock for every thread: a text laid
          // out meanwhile waits for this read instead of doing it again.
          QFontDatabase::families();
      })
{
}
