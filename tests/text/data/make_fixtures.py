#!/usr/bin/env python3
# Writes the prose fixtures of the detection tests from prose.utf8.txt:
# the same text in each Cyrillic single-byte code page, in UTF-8 with a
# byte-order mark, and with CR LF line ends. Run it from this folder.
src = open('prose.utf8.txt', encoding='utf-8').read()
pages = {'cp866': 'cp866', 'iso8859_5': 'iso8859_5', 'koi8_r': 'koi8_r',
         'mac_cyrillic': 'mac_cyrillic', 'cp1251': 'cp1251'}
for name, codec in pages.items():
    open('prose.%s.txt' % name, 'wb').write(src.encode(codec))
open('prose.utf8bom.txt', 'wb').write(b'\xef\xbb\xbf' + src.replace('\n', '\r\n').encode('utf-8'))
