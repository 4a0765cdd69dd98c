#pragma once

#include "BrandShape.h"

// The product name as lettering, "zimbrel" in a monoline geometric hand,
// designed in a 778 x 180 box.
class ZimbrelWordmark : public BrandShape {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit ZimbrelWordmark(QQuickItem *parent = nullptr);
    static const Design &shape();

protected:
    const Design &design() const override { return shape(); }
};
