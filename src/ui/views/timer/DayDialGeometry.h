#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

// What the day dial draws for a canvas and the day's figures: the track, the
// part of today before the running session (white), the session (lime), the
// hour ticks outside the ring and the dot at the tip while running. Kept apart
// from the painting so the rules can be checked without pixels.
struct DayDialGeometry {
    struct Tick {
        double fraction = 0; // of the goal; 0 is twelve o'clock
        double from = 0;     // distance from the centre
        double to = 0;
        double opacity = 0;  // of white
    };

    double lineWidth = 0;
    QPointF centre;
    double radius = 0;
    // Fractions of the goal: progress p (capped at 1), the session s and the
    // elapsed part e before it; e + s = p.
    double progress = 0;
    double session = 0;
    double elapsed = 0;
    bool elapsedArc = false; // from 0 to e
    bool sessionArc = false; // from e to p
    QList<Tick> ticks;
    bool dot = false;
    double dotDiameter = 0;
    QPointF dotCentre;

    // `total`, `session` and `goal` in seconds; negative or undefined figures
    // count as 0, and a goal of 0 shows an empty dial.
    static DayDialGeometry compute(QSizeF canvas, double total, double session, double goal, bool running);
    // Whether `other` draws the same to the eye: the same ring, ticks, arcs
    // and dot, with every arc end within a quarter pixel along the ring. A
    // running second moves the tip far less than that on a day's goal, so the
    // dial need not be painted again each second.
    bool looksLike(const DayDialGeometry &other) const;
    // When `before` was painted and this differs from it only where the
    // running tip moved (a short way along the ring, everything else the
    // same), the area of the canvas to paint again: the ring between both
    // tips with the dot at each, and a margin for the smoothed edges. Empty
    // when the whole dial must be painted again.
    QRectF tipChange(const DayDialGeometry &before) const;
    // The angle of a fraction in degrees, clockwise from three o'clock.
    static double angle(double fraction) { return fraction * 360 - 90; }
    // The point at `distance` from the centre in the direction of `fraction`.
    QPointF pointAt(double fraction, double distance) const;
};
