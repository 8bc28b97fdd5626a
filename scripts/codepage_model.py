#!/usr/bin/env python3
"""Counts the letter-pair tables that runtime/TextCodec.cpp uses to tell windows-1251 text from
windows-1252 text, and prints them as C++.

Text: the message catalogues (/usr/share/locale/*/LC_MESSAGES/*.mo) of a Debian system:
Russian with some Ukrainian for windows-1251; German, French, Spanish, Portuguese, Swedish,
Italian, Dutch, Danish, Norwegian, Finnish, Catalan and Icelandic for windows-1252; the
catalogues' English originals for the plain ASCII beside Russian text.

Each code page's reading of a byte is put in a class (a letter of its own, folded to lower
case; an ASCII letter; another symbol that reads differently in the other code page; or
none), and the cost of a class after a class is -4 ln p. The ASCII table holds, for two
ASCII classes, 1.8 x 4 x ln(p_Western / p_English). The bonus of the first letter is
0.7 x -4 ln(the share of such letters among all letters). Run: python3 codepage_model.py
"""
import glob, math, re, struct
RU_L, RU_S, RU_B, NRU = 34, 35, 36, 37
WE_L, WE_S, WE_B, NWE = 36, 37, 38, 39
_P = [(bytes([b]).decode('cp1251', errors='replace'), bytes([b]).decode('cp1252', errors='replace')) for b in range(128,256)]
HI1251 = set(a for a, w in _P if a != w)
HI1252 = set(w for a, w in _P if a != w)
def ru_class(ch):
    o = ord(ch)
    if 0x410 <= o <= 0x42F: o += 0x20
    if 0x430 <= o <= 0x44F: return o - 0x430
    m = {'ё':5,'Ё':5,'і':32,'І':32,'ї':32,'Ї':32,'є':5,'Є':5,'ґ':3,'Ґ':3,'ў':19,'Ў':19}
    if ch in m: return m[ch]
    if 0x400 <= o <= 0x45F: return 33
    if ch.isascii() and ch.isalpha(): return RU_L
    if ch.isalpha(): return RU_L   # other Latin letters in Russian text
    if ch in HI1251: return RU_S
    return RU_B
def we_class(ch):
    o = ord(ch)
    if ch == 'ß': return 0
    if 0xC0 <= o <= 0xDE and o != 0xD7: o += 0x20
    if 0xE0 <= o <= 0xFE and o != 0xF7: return 1 + (o - 0xE0) - (1 if o > 0xF7 else 0)
    m = {'ÿ':31,'Ÿ':31,'š':32,'Š':32,'ž':33,'Ž':33,'œ':34,'Œ':34,'ª':35,'º':35,'µ':35,'ƒ':35}
    if ch in m: return m[ch]
    if ch.isascii() and ch.isalpha(): return WE_L
    if ch.isalpha() and 0x100 <= o < 0x250: return 35
    if ch.isalpha() and o < 0x250: return 35
    if ch in HI1252: return WE_S
    return WE_B
def asc_class(ch):
    if ch.isascii() and ch.isalpha(): return ord(ch.lower()) - 97
    return 26

def mo_strings(path):
    data = open(path, 'rb').read()
    if len(data) < 28:
        return [], []
    magic = struct.unpack('<I', data[:4])[0]
    if magic not in (0x950412de, 0xde120495):
        return [], []
    e = '<' if magic == 0x950412de else '>'
    _, _, n, o_orig, o_tr = struct.unpack(e + '5I', data[:20])
    ids, strs = [], []
    for i in range(n):
        l, o = struct.unpack(e + '2I', data[o_orig + 8 * i:o_orig + 8 * i + 8]); ids.append(data[o:o + l])
        l, o = struct.unpack(e + '2I', data[o_tr + 8 * i:o_tr + 8 * i + 8]); strs.append(data[o:o + l])
    return ids, strs

CLEAN = re.compile(r'%[-+ #0-9.]*[a-zA-Z]|%\d|\{[^}]*\}|<[^>]*>|&[a-z]+;|[_&](?=\w)')

def texts(lang, originals=False):
    out, seen = [], set()
    for p in glob.glob(f'/usr/share/locale/{lang}/LC_MESSAGES/*.mo'):
        try:
            ids, strs = mo_strings(p)
        except Exception:
            continue
        for s in (ids if originals else strs):
            for part in s.split(b'\0'):
                try:
                    t = CLEAN.sub(' ', part.decode('utf-8'))
                except UnicodeDecodeError:
                    continue
                if t and t not in seen:
                    seen.add(t)
                    out.append(t)
    return out

def seq(text, cls, B):
    out = [B]
    for ch in text:
        c = cls(ch)
        if c == B and out[-1] == B:
            continue
        out.append(c)
    if out[-1] != B:
        out.append(B)
    return out

def probs(groups, cls, B, n):
    P = [[0.0] * n for _ in range(n)]
    for group, weight in groups:
        cnt = [[0] * n for _ in range(n)]
        tot = 0
        for t in group:
            s = seq(t, cls, B)
            for a, b in zip(s, s[1:]):
                cnt[a][b] += 1
                tot += 1
        for a in range(n):
            for b in range(n):
                P[a][b] += weight * cnt[a][b] / tot
    s = sum(map(sum, P))
    return [[v / s for v in row] for row in P]

K, CAP, FLOOR, ASCII_WEIGHT, FIRST_BONUS = 4.0, 56, 1e-6, 1.8, 0.7
WEST = {'de': 1.5, 'fr': 1.5, 'es': 1.2, 'pt': 0.6, 'pt_BR': 0.6, 'sv': 1, 'it': 1, 'nl': 0.8, 'da': 0.7,
        'nb': 0.7, 'fi': 0.6, 'ca': 0.5, 'is': 0.1}

def main():
    russian = [(texts('ru'), 0.85), (texts('uk'), 0.15)]
    western = [(texts(l), w) for l, w in WEST.items()]
    english = [(texts('ru', True) + texts('de', True), 1)]
    ru, we = probs(russian, ru_class, RU_B, NRU), probs(western, we_class, WE_B, NWE)
    en, wa = probs(english, asc_class, 26, 27), probs(western, asc_class, 26, 27)
    cost = lambda P: [[min(CAP, round(-math.log(max(P[x][y] / (sum(P[x]) or 1), FLOOR)) * K)) for y in range(len(P))]
                      for x in range(len(P))]
    share = lambda P, L: sum(sum(row[:L]) for row in P) / sum(map(sum, P))
    lnc = lambda P, a, b: math.log(max(P[a][b] / (sum(P[a]) or 1), FLOOR))
    ascii_lead = [[max(-28, min(28, round(ASCII_WEIGHT * K * (lnc(wa, a, b) - lnc(en, a, b))))) for b in range(27)]
                  for a in range(27)]
    c1 = [ru_class(bytes([b]).decode('cp1251', errors='replace')) for b in range(128, 256)]
    c2 = [we_class(bytes([b]).decode('cp1252', errors='replace')) for b in range(128, 256)]
    def literal(name, values):
        s = ''.join(chr(35 + v) for v in values)
        s = re.sub(r'\?(?=\?)', '?" "', s)  # no trigraphs
        print(f'const char {name}[] =')
        print('\n'.join(f'    "{s[i:i + 96]}"' for i in range(0, len(s), 96)) + ';')
    literal('kRuClass', c1)
    literal('kWeClass', c2)
    literal('kRuPairs', [v for row in cost(ru) for v in row])
    literal('kWePairs', [v for row in cost(we) for v in row])
    literal('kAsciiPairs', [28 + v for row in ascii_lead for v in row])
    print('// first letter bonus: Russian %d, Western %d' % (round(-math.log(share(ru, RU_L)) * K * FIRST_BONUS),
                                                           round(-math.log(share(we, WE_L)) * K * FIRST_BONUS)))

if __name__ == '__main__':
    main()
