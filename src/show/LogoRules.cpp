// SPDX-License-Identifier: GPL-2.0-or-later
#include "show/LogoRules.h"

#include <cmath>

namespace {

// The whole part rounded down, negative values included (-0.5 gives -1).
int wholePart(double value)
{
    return static_cast<int>(std::floor(value));
}

} // namespace

LogoState StartLogo(const LogoGeometry &g, const RandomDraw &rnd)
{
    LogoState s;
    s.turn = false;
    s.left = wholePart(static_cast<double>(g.screenWidth + g.width) * rnd()) - g.width;
    s.top = wholePart(static_cast<double>(g.screenHeight + g.height) * rnd()) - g.height;
    s.dirX = 1;
    s.dirY = 1;
    return s;
}

bool RandomTurn(float r)
{
    return wholePart(static_cast<double>(r) * 100) < 10;
}

LogoState LogoTick(LogoState s, const LogoGeometry &g, const RandomDraw &rnd)
{
    const int W = g.width;
    const int H = g.height;
    const int SW = g.screenWidth;
    const int SH = g.screenHeight;
    if (!s.turn) {
        // Containment: a logo partly beyond the right or bottom edge turns back; one beyond the
        // left or top edge keeps coming in.
        if (s.left >= 0) {
            if (s.left + W > SW) {
                s.dirX = -1;
            }
        } else {
            s.dirX = 1;
        }
        if (s.top >= 0) {
            if (s.top + H > SH) {
                s.dirY = -1;
            }
        } else {
            s.dirY = 1;
        }
        // Bounce only on an exact touch; at a corner the second draw decides.
        if (s.left == 0) {
            s.turn = RandomTurn(rnd());
            if (!s.turn) {
                s.dirX = 1;
            }
        } else if (s.left + W == SW) {
            s.turn = RandomTurn(rnd());
            if (!s.turn) {
                s.dirX = -1;
            }
        }
        if (s.top == 0) {
            s.turn = RandomTurn(rnd());
            if (!s.turn) {
                s.dirY = 1;
            }
        } else if (s.top + H == SH) {
            s.turn = RandomTurn(rnd());
            if (!s.turn) {
                s.dirY = -1;
            }
        }
    } else if (s.top > SH || s.left > SW || s.left + W < 0 || s.top + H < 0) {
        // Wholly off the screen: back in at a random side, one row or column showing. The
        // direction stays; a logo coming in against it is turned by containment next tick.
        s.turn = false;
        const int side = wholePart(static_cast<double>(rnd()) * 4) + 1;
        switch (side) {
        case 1:
            s.left = 1 - W;
            s.top = wholePart(static_cast<double>(SH + H) * rnd() - H);
            break;
        case 2:
            s.top = 1 - H;
            s.left = wholePart(static_cast<double>(SW + W) * rnd() - W);
            break;
        case 3:
            s.left = SW - 1;
            s.top = wholePart(static_cast<double>(SH + H) * rnd() - H);
            break;
        default:
            s.top = SH - 1;
            s.left = wholePart(static_cast<double>(SW + W) * rnd() - W);
            break;
        }
    }
    s.left += s.dirX;
    s.top += s.dirY;
    return s;
}
