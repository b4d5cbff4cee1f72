#!/usr/bin/env python3
# Writes the book fixtures of the import tests, all from the one story below
# (our own prose), and beside each book the topics its import must give
# (NAME.expect): "= name" starts a topic, "| text" is one of its lines ("|"
# alone an empty line), "^ text" a heading line (H(text) below: the import
# marks a title line with byte 0x01 in front). Run it from this folder; it
# rewrites every file.
#
#   tale.fb2          FB2, UTF-8: parts with nested chapters, epigraphs, a
#                     poem, a citation, a subtitle, emphasis, a note
#                     reference (its note in place), an image, the notes body
#                     (a note no reference reaches) and a binary
#   tale-1251.fb2     the same in Windows-1251, as it declares
#   tale.fb2.zip      tale.fb2 zipped
#   tale2.epub        EPUB 2 (toc.ncx), tale3.epub EPUB 3 (nav): a cover and a
#                     title page before the first chapter, one spine file
#                     holding two chapters, a chapter the navigation does not
#                     name (its heading does) and a file that goes on with it
#   tale.html         HTML split at h2, scripts and styles, entities
#   tale.md           Markdown split at ##
#   glava.koi8.txt    "Глава N" headings (KOI8-R), one chapter over 4 KB
#   chapter.txt       "CHAPTER I" / "Chapter 2: ..." headings, a preface (ASCII)
#   parts.cp866.txt   "ЧАСТЬ ..." above "Глава N" (CP866): repeated chapter names
#   roman.cp1251.txt  Roman numerals alone, "* * *" scene breaks (kept as lines)
#   wrapped.txt       hard-wrapped at 72 columns (UTF-8), indented paragraphs,
#                     hyphenated words; wrapped.expect holds the repaired text
import base64
import io
import os
import zipfile

os.chdir(os.path.dirname(os.path.abspath(__file__)))

TITLE = 'Сказка о часовщике'
AUTHOR = 'Иван Сидоров'

CH1 = [
    'В городе, где все часы спешили на пять минут, жил часовщик Антон.',
    'Каждое утро он открывал ставни своей мастерской и заводил сорок два '
    'маятника, один за другим, пока комната не начинала тикать, как сердце.',
    'Соседи говорили, что Антон слышит время. Он только улыбался и '
    'протирал очки краем фартука.',
]
CH2 = [
    '«Можно войти?» — спросил кто-то у двери, когда колокол на площади '
    'пробил полдень.',
    'На пороге стояла девочка с коробкой, перевязанной бечёвкой. В коробке '
    'лежали часы, которые шли назад.',
    'Антон долго смотрел на стрелки… Потом сказал: «Их не чинить надо, а '
    'выслушать».',
]
POEM_TITLE = 'Песня часовщика'
STANZAS = [['Тик да так, за шагом шаг,', 'не спеши, часы, никак.'],
           ['Кто назад, а кто вперёд —', 'всё равно рассвет придёт.']]
CITE = 'Время — это то, что мы отдаём другим.'
CH3 = [
    'Зимой мастерская пустела. Снег заметал следы до самого порога, и '
    'только маятники спорили друг с другом.',
    'Антон писал письма девочке и складывал их в ящик стола: адреса он не '
    'знал.',
]
CH4 = [
    'Весной девочка вернулась. Часы в её коробке шли теперь вперёд, ровно '
    'на пять минут, как все часы в городе.',
    '«Значит, они поправились», — сказала она.',
    '«Значит, ты выросла», — ответил Антон и завёл сорок третий маятник.',
]
NOTE1 = 'Сорок второй маятник Антон сделал сам, из старой ложки.'
NOTE2 = 'Письма так и не были отправлены.'


def esc(s):
    return s.replace('&', '&amp;').replace('<', '&lt;').replace('>', '&gt;')


def H(line):
    return '\x01' + line


def write_expect(name, topics):
    out = []
    for topic, lines in topics:
        out.append('= ' + topic)
        out.extend('^ ' + l[1:] if l.startswith('\x01') else '| ' + l if l else '|' for l in lines)
    open(name + '.expect', 'w', encoding='utf-8').write('\n'.join(out) + '\n')


# --- FB2 ------------------------------------------------------------------
PNG = base64.b64encode(bytes.fromhex(
    '89504e470d0a1a0a0000000d4948445200000001000000010806000000'
    '1f15c4890000000d49444154789c6360000002000100e221bc330000000049454e44ae426082')).decode()


def fb2(encoding):
    ch1 = ''.join('<p>%s</p>' % esc(p) for p in CH1[:1])
    ch1 += ('<p>Каждое утро он открывал ставни своей мастерской и заводил '
            '<emphasis>сорок два</emphasis> маятника<a l:href="#n1" type="note">1</a>, '
            'один за другим, пока комната не начинала <strong>тикать</strong>, как сердце.</p>')
    ch1 += '<image l:href="#clock.png"/>'
    ch1 += ''.join('<p>%s</p>' % esc(p) for p in CH1[2:])
    poem = '<poem><title><p>%s</p></title>%s<text-author>%s</text-author></poem>' % (
        POEM_TITLE, ''.join('<stanza>%s</stanza>' % ''.join('<v>%s</v>' % v for v in s) for s in STANZAS),
        AUTHOR)
    ch2 = ''.join('<p>%s</p>' % esc(p) for p in CH2[:2]) + poem + \
        '<cite><p>%s</p><text-author>Антон</text-author></cite>' % esc(CITE) + \
        '<subtitle>* * *</subtitle><p>%s</p>' % esc(CH2[2])
    ch3 = ''.join('<p>%s</p>' % esc(p) for p in CH3[:1]) + '<empty-line/>' + \
        ''.join('<p>%s</p>' % esc(p) for p in CH3[1:])
    ch4 = ''.join('<p>%s</p>' % esc(p) for p in CH4)
    text = '''<?xml version="1.0" encoding="%s"?>
<FictionBook xmlns="http://www.gribuser.ru/xml/fictionbook/2.0" xmlns:l="http://www.w3.org/1999/xlink">
<description><title-info><genre>prose_contemporary</genre>
<author><first-name>Иван</first-name><last-name>Сидоров</last-name></author>
<book-title>%s</book-title><lang>ru</lang></title-info>
<document-info><author><nickname>volm</nickname></author><version>1.0</version></document-info>
</description>
<body>
<title><p>%s</p><p>%s</p></title>
<epigraph><p>Время не ждёт, но иногда заходит в гости.</p><text-author>Поговорка</text-author></epigraph>
<section><title><p>Часть первая</p></title>
<epigraph><p>Всё начинается с маленькой шестерёнки.</p></epigraph>
<section id="c1"><title><p>Глава 1</p></title>%s</section>
<section id="c2"><title><p>Глава 2</p><p>Гость</p></title>%s</section>
</section>
<section><title><p>Часть вторая</p></title>
<section><title><p>Глава 1</p></title>%s</section>
<section><title><p>Глава 2</p><p>Весна</p></title>%s</section>
</section>
</body>
<body name="notes"><title><p>Примечания</p></title>
<section id="n1"><title><p>1</p></title><p>%s</p></section>
<section id="n2"><title><p>2</p></title><p>%s</p></section>
</body>
<binary id="clock.png" content-type="image/png">%s</binary>
</FictionBook>
''' % (encoding, TITLE, AUTHOR, TITLE, ch1, ch2, ch3, ch4, esc(NOTE1), esc(NOTE2), PNG)
    return text.encode(encoding)


CH1_FB2 = [CH1[0], CH1[1].replace('маятника,', 'маятника[1],'), CH1[2]]
POEM_LINES = ['', POEM_TITLE, ''] + STANZAS[0] + [''] + STANZAS[1] + ['', AUTHOR, '']
FB2_TOPICS = [
    (TITLE, [H(AUTHOR), H(TITLE), 'Время не ждёт, но иногда заходит в гости.', 'Поговорка']),
    ('Часть первая. Глава 1', [H('Часть первая'), 'Всё начинается с маленькой шестерёнки.', H('Глава 1')] +
     CH1_FB2[:2] + ['[1] ' + NOTE1] + CH1_FB2[2:]),
    ('Глава 2. Гость', [H('Глава 2'), H('Гость')] + CH2[:2] + POEM_LINES + [CITE, 'Антон', '* * *', CH2[2]]),
    ('Часть вторая. Глава 1', [H('Часть вторая'), H('Глава 1'), CH3[0], '', CH3[1]]),
    ('Глава 2. Весна', [H('Глава 2'), H('Весна')] + CH4),
    # The note referred to is in place; the one no reference reaches stays.
    ('Примечания', [H('Примечания'), '[2] ' + NOTE2]),
]
open('tale.fb2', 'wb').write(fb2('utf-8'))
open('tale-1251.fb2', 'wb').write(fb2('windows-1251'))
write_expect('tale.fb2', FB2_TOPICS)
with zipfile.ZipFile('tale.fb2.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr(zipfile.ZipInfo('tale.fb2', (2024, 1, 1, 0, 0, 0)), fb2('utf-8'), zipfile.ZIP_DEFLATED)

# --- EPUB -----------------------------------------------------------------


def xhtml(title, body):
    return ('<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE html>\n'
            '<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops">\n'
            '<head><title>%s</title><style>p { text-indent: 1em }</style>'
            '<script>var x = "<p>not text</p>";</script></head>\n<body>\n%s\n</body></html>\n' % (title, body))


def paras(ps):
    return '\n'.join('<p>%s</p>' % esc(p) for p in ps)


EPUB_FILES = [
    ('cover.xhtml', xhtml('Обложка', '<div><img src="clock.png" alt="Часы"/></div>')),
    ('title.xhtml', xhtml(TITLE, '<h1>%s</h1>\n<h2>%s</h2>' % (TITLE, AUTHOR))),
    ('ch1.xhtml', xhtml('1', '<h2 id="c1">Глава первая</h2>\n' + paras(CH1))),
    ('ch23.xhtml', xhtml('2', '<section id="c2"><h2>Глава вторая</h2>\n%s</section>\n'
                              '<h2 id="c3">Глава третья</h2>\n%s' % (paras(CH2), paras(CH3)))),
    ('epilogue.xhtml', xhtml('4', '<h2>Эпилог</h2>\n' + paras(CH4[:2]))),
    ('epilogue2.xhtml', xhtml('5', paras(CH4[2:]) + '\n<p>Конец&#160;&#8212; делу&nbsp;венец.</p>')),
]
NAV = [('ch1.xhtml#c1', 'Глава первая: Мастерская'), ('ch23.xhtml#c2', 'Глава вторая: Гость'),
       ('ch23.xhtml#c3', 'Глава третья: Зима')]
EPUB_TOPICS = [
    ('Глава первая: Мастерская', [H('Глава первая')] + CH1),
    ('Глава вторая: Гость', [H('Глава вторая')] + CH2),
    ('Глава третья: Зима', [H('Глава третья')] + CH3),
    ('Эпилог', [H('Эпилог')] + CH4 + ['Конец — делу венец.']),
]


def epub(name, version):
    manifest = ''.join('<item id="f%d" href="Text/%s" media-type="application/xhtml+xml"/>' % (i, f)
                       for i, (f, _) in enumerate(EPUB_FILES))
    manifest += '<item id="img" href="Images/clock.png" media-type="image/png"/>'
    spine = ''.join('<itemref idref="f%d"/>' % i for i in range(len(EPUB_FILES)))
    files = [('Text/' + f, body) for f, body in EPUB_FILES]
    if version == 3:
        manifest += '<item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/>'
        nav = '<nav epub:type="landmarks"><ol><li><a href="Text/cover.xhtml">Обложка</a></li></ol></nav>'
        nav += '<nav epub:type="toc" id="toc"><h1>Содержание</h1><ol>%s</ol></nav>' % ''.join(
            '<li><a href="Text/%s">%s</a></li>' % (h, t) for h, t in NAV)
        files.append(('nav.xhtml', xhtml('Содержание', nav)))
        spine_attr = ''
    else:
        manifest += '<item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>'
        points = ''.join('<navPoint id="p%d" playOrder="%d"><navLabel><text>%s</text></navLabel>'
                         '<content src="Text/%s"/></navPoint>' % (i, i + 1, t, h) for i, (h, t) in enumerate(NAV))
        files.append(('toc.ncx', '<?xml version="1.0" encoding="UTF-8"?>\n<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" '
                                 'version="2005-1"><head/><docTitle><text>%s</text></docTitle><navMap>%s</navMap></ncx>\n'
                      % (TITLE, points)))
        spine_attr = ' toc="ncx"'
    opf = ('<?xml version="1.0" encoding="UTF-8"?>\n<package xmlns="http://www.idpf.org/2007/opf" version="%d.0" '
           'unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">'
           '<dc:identifier id="id">volm-tale</dc:identifier><dc:title>%s</dc:title><dc:creator>%s</dc:creator>'
           '<dc:language>ru</dc:language></metadata><manifest>%s</manifest><spine%s>%s</spine></package>\n'
           % (version, TITLE, AUTHOR, manifest, spine_attr, spine))
    container = ('<?xml version="1.0"?>\n<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">'
                 '<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>'
                 '</rootfiles></container>\n')
    with zipfile.ZipFile(name, 'w') as z:
        def add(n, data, method=zipfile.ZIP_DEFLATED):
            z.writestr(zipfile.ZipInfo(n, (2024, 1, 1, 0, 0, 0)), data, method)
        add('mimetype', 'application/epub+zip', zipfile.ZIP_STORED)
        add('META-INF/container.xml', container)
        add('OEBPS/content.opf', opf)
        for n, data in files:
            add('OEBPS/' + n, data)
        add('OEBPS/Images/clock.png', base64.b64decode(PNG), zipfile.ZIP_STORED)
    write_expect(name, EPUB_TOPICS)


epub('tale2.epub', 2)
epub('tale3.epub', 3)

# --- HTML and Markdown ----------------------------------------------------
html = ('<!DOCTYPE html>\n<html lang="ru"><head><meta charset="utf-8"><title>%s</title>\n'
        '<style>h2 { color: #333 }</style><script>document.write("<p>no</p>")</script></head>\n<body>\n'
        '<h1>%s</h1>\n<h2 id="one">Глава 1. Мастерская</h2>\n%s\n'
        '<h2>Глава 2. Гость</h2>\n<p>%s<br>%s</p>\n<blockquote>%s</blockquote>\n%s\n'
        '<h2>Глава 3. Зима</h2>\n<ul><li>%s</li><li>%s</li></ul>\n'
        '<p>Часы&nbsp;&mdash; это за&#769;мок &#9786; для времени.</p>\n</body></html>\n'
        % (TITLE, TITLE, paras(CH1), esc(CH2[0]), esc(CH2[1]), esc(CITE), paras(CH2[2:]), esc(CH3[0]), esc(CH3[1])))
open('tale.html', 'w', encoding='utf-8').write(html)
write_expect('tale.html', [
    ('Глава 1. Мастерская', [H('Глава 1. Мастерская')] + CH1),
    ('Глава 2. Гость', [H('Глава 2. Гость')] + CH2[:2] + [CITE] + CH2[2:]),
    ('Глава 3. Зима', [H('Глава 3. Зима')] + CH3 + ['Часы — это замок ? для времени.']),
])

md = '# %s\n\n## Глава 1\n\n%s\n\n## Глава 2\n\n%s\n\n> %s\n\n## Глава 3\n\n- %s\n- %s\n\n```\nтик\n  так\n```\n' % (
    TITLE, '\n\n'.join(CH1).replace('сорок два', '*сорок два*'), '\n\n'.join(CH2), CITE, CH3[0], CH3[1])
open('tale.md', 'w', encoding='utf-8').write(md)
write_expect('tale.md', [
    ('Глава 1', [H('Глава 1')] + CH1),
    ('Глава 2', [H('Глава 2')] + CH2 + [CITE]),
    ('Глава 3', [H('Глава 3')] + CH3 + ['тик', '  так']),
])

# --- Plain texts ----------------------------------------------------------
LONG = [('Антон разбирал часы до последнего винтика и раскладывал детали на '
         'бархатной тряпице. Шестерёнка номер %d легла справа от пружины, '
         'а пружина - справа от стекла, чтобы ничего не перепутать.') % i for i in range(1, 31)]


def plain(name, encoding, blocks, topics, crlf=False):
    text = '\n'.join(blocks) + '\n'
    if crlf:
        text = text.replace('\n', '\r\n')
    open(name, 'wb').write(text.encode(encoding))
    write_expect(name, topics)


def spaced(ps):
    return '\n\n'.join(ps)


def dos(ps):
    # KOI8-R and CP866 have no typographic quotes, dashes or ellipsis.
    table = {'«': '"', '»': '"', '—': '-', '…': '...'}
    return [''.join(table.get(c, c) for c in p) for p in ps]


CH1, CH2, CH3, CH4 = dos(CH1), dos(CH2), dos(CH3), dos(CH4)
plain('glava.koi8.txt', 'koi8_r',
      [TITLE, '', AUTHOR, '', '', 'Глава 1', '', spaced(CH1), '', 'Глава 2. Гость', '', spaced(CH2), '',
       'Глава 3', '', spaced(LONG), '', 'ГЛАВА 4', '', spaced(CH4)],
      [('Глава 1', [H('Глава 1'), ''] + sum([[p, ''] for p in CH1], [])[:-1]),
       ('Глава 2. Гость', [H('Глава 2. Гость'), ''] + sum([[p, ''] for p in CH2], [])[:-1]),
       ('Глава 3', [H('Глава 3'), ''] + sum([[p, ''] for p in LONG], [])[:-1]),
       ('ГЛАВА 4', [H('ГЛАВА 4'), ''] + sum([[p, ''] for p in CH4], [])[:-1])])

EN_PREFACE = ('This little book was written for a clockmaker who never read it. '
              'It is short, and it has no moral.')
EN1 = ['The town clocks were all five minutes fast.', 'Nobody minded, except the clockmaker.']
EN2 = ['A girl came in with a box of clocks that ran backwards.', 'He listened to them for an hour.']
EN3 = ['In spring the clocks ran forward again.', 'The girl had grown.']
plain('chapter.txt', 'ascii',
      [EN_PREFACE, '', 'CHAPTER I', EN1[0], EN1[1], '', 'Chapter 2: The Visitor', '', EN2[0], EN2[1], '',
       'Part 2 of the story is short.', '', 'CHAPTER THREE', '', EN3[0], EN3[1]],
      [('Preface', [EN_PREFACE]),
       ('CHAPTER I', [H('CHAPTER I')] + EN1),
       ('Chapter 2: The Visitor', [H('Chapter 2: The Visitor'), ''] + EN2 + ['', 'Part 2 of the story is short.']),
       ('CHAPTER THREE', [H('CHAPTER THREE'), ''] + EN3)], crlf=True)

plain('parts.cp866.txt', 'cp866',
      ['ЧАСТЬ ПЕРВАЯ', '', 'Глава 1', '', spaced(CH1), '', 'Глава 2', '', spaced(CH2), '', '',
       'ЧАСТЬ ВТОРАЯ', '', 'Глава 1', '', spaced(CH3), '', 'Глава 2', '', spaced(CH4)],
      [('ЧАСТЬ ПЕРВАЯ. Глава 1', [H('ЧАСТЬ ПЕРВАЯ'), '', H('Глава 1'), ''] + sum([[p, ''] for p in CH1], [])[:-1]),
       ('ЧАСТЬ ПЕРВАЯ. Глава 2', [H('Глава 2'), ''] + sum([[p, ''] for p in CH2], [])[:-1]),
       ('ЧАСТЬ ВТОРАЯ. Глава 1', [H('ЧАСТЬ ВТОРАЯ'), '', H('Глава 1'), ''] + sum([[p, ''] for p in CH3], [])[:-1]),
       ('ЧАСТЬ ВТОРАЯ. Глава 2', [H('Глава 2'), ''] + sum([[p, ''] for p in CH4], [])[:-1])])

plain('roman.cp1251.txt', 'cp1251',
      [TITLE, '', 'I', '', spaced(CH1), '', 'II', '', spaced(CH2), '', '* * *', '', spaced(CH3), '',
       '   ***', '', spaced(CH4)],
      [('I', [H('I'), ''] + sum([[p, ''] for p in CH1], [])[:-1]),
       ('II', [H('II'), ''] + sum([[p, ''] for p in CH2], []) + ['* * *', ''] + sum([[p, ''] for p in CH3], []) +
        ['***', ''] + sum([[p, ''] for p in CH4], [])[:-1])])

# --- A hard-wrapped text --------------------------------------------------
# "|" marks where a long word may be hyphenated at the end of a line.
WRAP_PARAS = [
    'Антон никогда не торопился. Он считал, что спешка портит любой механизм '
    'быстрее, чем пыль, и что каждая маленькая шесте|рёнка имеет право на свою '
    'минуту. Поэтому заказы у него лежали неделями, а заказчики '
    'приходили, садились на табурет у окна и смотрели, как он работает.',
    'Однажды поздней осенью прямо из далёкого и холодного Санкт-Петербурга '
    'пришла посылка с часами без стрелок. '
    'Отправитель просил вернуть им голос. Антон положил часы на ладонь, '
    'прислушался и долго не двигался, пока в мастерской не стемнело и '
    'не зажглись фонари на площади.',
    '«Голос у них есть», — сказал он наконец. — «Им не хватает '
    'слушателя.»',
    'Весь следующий месяц он носил часы в кармане жилета. Они молчали '
    'на ярмарке, молчали в церкви и на мосту, но в булочной вдруг '
    'затикали — тихо, неуверенно, будто вспоминая давно забытую '
    'мелодию, которую непре|менно насвистывал их прежний хозяин.',
    'Антон вернул посылку без записки.',
]


def wrap(paragraph, width=72, indent=4):
    words = paragraph.split(' ')
    lines, cur = [], ' ' * indent
    for w in words:
        plainw = w.replace('|', '')
        room = width - len(cur) - (0 if cur.strip() == '' else 1)
        if len(plainw) <= room:
            cur += ('' if cur.strip() == '' else ' ') + plainw
            continue
        if '|' in w:
            head, tail = w.split('|')
            if len(head) + 1 <= room:
                cur += ' ' + head + '-'
                lines.append(cur)
                cur = tail
                continue
        if w.count('-') == 1 and not w.startswith('-'):
            head, tail = w.split('-')
            if len(head) + 1 <= room and tail[:1].isupper():
                cur += ' ' + head + '-'
                lines.append(cur)
                cur = tail
                continue
        lines.append(cur)
        cur = plainw
    lines.append(cur)
    assert all(len(l) <= width for l in lines)
    return lines


wrapped = []
for p in WRAP_PARAS:
    wrapped += wrap(p)
# The text must show each case the repair knows.
assert any(a.endswith('-') and a[-2].islower() and b[:1].islower() for a, b in zip(wrapped, wrapped[1:])), \
    'no word hyphenated at a line end'
assert any(l.endswith('Санкт-') for l in wrapped), 'no compound broken at its own hyphen'
text = '\n'.join(['Глава 1', ''] + wrapped) + '\n'
open('wrapped.txt', 'w', encoding='utf-8').write(text)
write_expect('wrapped.txt', [('Глава 1', [H('Глава 1'), ''] + [p.replace('|', '') for p in WRAP_PARAS])])
