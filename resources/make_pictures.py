#!/usr/bin/env python3
"""Draws the action bar glyphs (16 x 16) and the binder ring pictures as XPM.

The pictures are drawn here, pixel by pixel, so that every one is our own.
Run from the resources folder; it rewrites glyphs/*.xpm and rings/*.xpm.
"""
import os

# Magenta is the glyphs' transparent colour (their top left pixel).
GLYPH_COLOURS = {
    '.': '#FF00FF',  # transparent
    'k': '#000000',
    'n': '#000080',  # navy outline
    'b': '#2060D0',  # blue fill
    'l': '#80B0F0',  # light blue
    'w': '#FFFFFF',
    's': '#C0C0C0',
    'g': '#808080',
    'r': '#C00000',
    'R': '#FF4040',
    'y': '#F0D000',
    'o': '#806000',
    'G': '#008000',
}


def grid(w=16, h=16, fill='.'):
    return [[fill] * w for _ in range(h)]


def rect(g, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            g[y][x] = c


def frame(g, x0, y0, x1, y1, c):
    for x in range(x0, x1 + 1):
        g[y0][x] = c
        g[y1][x] = c
    for y in range(y0, y1 + 1):
        g[y][x0] = c
        g[y][x1] = c


def triangle(g, tip_x, mid_y, half, direction):
    """A filled triangle pointing left (-1) or right (+1), outlined."""
    for i in range(half + 1):
        x = tip_x - direction * i
        for y in range(mid_y - i, mid_y + i + 1):
            edge = y in (mid_y - i, mid_y + i) or i == half
            g[y][x] = 'n' if edge else ('l' if y < mid_y else 'b')


def first():
    g = grid()
    rect(g, 2, 3, 3, 12, 'n')
    triangle(g, 5, 7, 5, -1)
    triangle(g, 10, 7, 5, -1)
    return g


def prev():
    g = grid()
    triangle(g, 4, 7, 6, -1)
    return g


def nxt():
    g = grid()
    triangle(g, 11, 7, 6, 1)
    return g


def last():
    g = grid()
    triangle(g, 5, 7, 5, 1)
    triangle(g, 10, 7, 5, 1)
    rect(g, 12, 3, 13, 12, 'n')
    return g


def date():
    g = grid()
    rect(g, 1, 2, 14, 14, 'w')
    frame(g, 1, 2, 14, 14, 'k')
    rect(g, 2, 3, 13, 5, 'r')
    for x in (4, 11):
        rect(g, x, 1, x, 3, 'k')
    for y in (7, 9, 11):
        for x in (3, 6, 9, 12):
            g[y][x] = 'g'
    rect(g, 8, 10, 10, 12, 'R')
    return g


def save():
    g = grid()
    rect(g, 1, 1, 14, 14, 'b')
    frame(g, 1, 1, 14, 14, 'n')
    rect(g, 4, 2, 11, 6, 'w')
    rect(g, 9, 3, 10, 5, 'g')
    rect(g, 3, 9, 12, 14, 's')
    frame(g, 3, 9, 12, 14, 'n')
    g[1][14] = '.'
    return g


def cancel():
    g = grid()
    for i in range(11):
        for d in (0, 1):
            x = 2 + i + d
            if x <= 13:
                g[2 + i][x] = 'r'
            g[2 + i][13 - i - d if 13 - i - d >= 2 else 2] = 'r'
    return g


def hide():
    g = grid()
    rect(g, 1, 2, 14, 13, 'w')
    frame(g, 1, 2, 14, 13, 'n')
    rect(g, 2, 3, 13, 4, 'b')
    rect(g, 4, 10, 10, 11, 'k')
    return g


def exit_():
    g = grid()
    # An open door with an arrow leaving it.
    rect(g, 2, 1, 8, 14, 'o')
    frame(g, 2, 1, 8, 14, 'k')
    rect(g, 3, 2, 7, 13, 'y')
    g[8][6] = 'k'
    rect(g, 8, 7, 12, 8, 'G')
    for i in range(4):
        rect(g, 12 + min(i, 2), 7 - (3 - i), 12 + min(i, 2), 8 + (3 - i), 'G')
    return g


# Rings: grey ground, then the white page; a silver bar crossing the page's
# outline and ending in a black hole.
RING_COLOURS = {
    'g': '#808080',  # ground
    'w': '#FFFFFF',  # page and highlight
    'k': '#000000',
    's': '#C0C0C0',
    'd': '#606060',
}


def ring(width, inset, bar_end, hole):
    g = grid(width, 11, 'g')
    for y in range(11):
        for x in range(inset + 1, width):
            g[y][x] = 'w'
        g[y][inset] = 'k'  # the page outline runs on through the picture
    for x in range(3, bar_end + 1):
        g[3][x] = 'k'
        g[4][x] = 'w'
        g[5][x] = 's'
        g[6][x] = 'd'
        g[7][x] = 'k'
    for y in (4, 5, 6):
        g[y][2] = 'k'
    h0, h1 = hole
    for y in range(2, 9):
        inner = 0 if 3 <= y <= 7 else 1
        for x in range(h0 + inner, h1 + 1 - inner):
            g[y][x] = 'k'
    return g


def write_xpm(path, name, g, colours):
    used = sorted({c for row in g for c in row})
    lines = ['/* XPM */', f'static const char *const {name}[] = {{',
             f'"{len(g[0])} {len(g)} {len(used)} 1",']
    lines += [f'"{c} c {colours[c]}",' for c in used]
    lines += [f'"{"".join(row)}",' for row in g[:-1]]
    lines.append(f'"{"".join(g[-1])}"}};')
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    glyphs = {'first': first, 'prev': prev, 'next': nxt, 'last': last, 'date': date,
              'save': save, 'cancel': cancel, 'hide': hide, 'exit': exit_}
    for name, draw in glyphs.items():
        write_xpm(os.path.join(here, 'glyphs', f'{name}.xpm'), f'glyph_{name}_xpm', draw(),
                  GLYPH_COLOURS)
    write_xpm(os.path.join(here, 'rings', 'ringimage.xpm'), 'ringimage_xpm',
              ring(43, 22, 37, (36, 41)), RING_COLOURS)
    write_xpm(os.path.join(here, 'rings', 'ringimages.xpm'), 'ringimages_xpm',
              ring(31, 15, 25, (24, 29)), RING_COLOURS)
