#include "THand.h"

THand::THand(QObject* owner, int radius, int backRadius, int width, const QColor& colour)
    : QObject(owner), radius(radius), backRadius(backRadius), width(width), colour(colour) {}

void THand::setRadius(int value) {
    if (value == radius) return;
    radius = value;
    emit Changed();
}

void THand::setBackRadius(int value) {
    if (value == backRadius) return;
    backRadius = value;
    emit Changed();
}

void THand::setWidth(int value) {
    if (value == width) return;
    width = value;
    emit Changed();
}

void THand::setColor(const QColor& value) {
    if (value == colour) return;
    colour = value;
    emit Changed();
}
