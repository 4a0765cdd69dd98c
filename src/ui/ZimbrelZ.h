#pragma once

#include "BrandShape.h"

// The product's monogram: a lower-case z, designed in a 124 x 180 box.
class ZimbrelZ : public BrandShape {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit ZimbrelZ(QQuickItem *parent = nullptr);
    static const Design &shape();

protected:
    const Design &design() const override { return shape(); }
};
