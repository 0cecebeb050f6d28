#!/usr/bin/python3
"""Checks the structure of a binary HWP 5.0 file with olefile, independently of the editor's own reader.

    /usr/bin/python3 olefile-check.py FILE

Prints one JSON object on stdout and exits 0 when the file has no fault, 1 when it has one (the JSON then says
which), 2 on a usage error. The shape is documented in tests/support/OutsideHwpReaders.h.

Run it with Debian's /usr/bin/python3: python3-olefile is installed for that interpreter only.
"""

import json
import re
import struct
import sys
import zlib

import olefile

SIGNATURE = b"HWP Document File"

# Record tags, as numbered in the published format document (HWPTAG_BEGIN is 0x10).
DOCUMENT_PROPERTIES = 0x10
ID_MAPPINGS = 0x11
BIN_DATA = 0x12
FACE_NAME = 0x13
BORDER_FILL = 0x14
CHAR_SHAPE = 0x15
TAB_DEF = 0x16
NUMBERING = 0x17
BULLET = 0x18
PARA_SHAPE = 0x19
STYLE = 0x1A
MEMO_SHAPE = 0x5C
PARA_HEADER = 0x42
PARA_TEXT = 0x43
PARA_CHAR_SHAPE = 0x44
CTRL_HEADER = 0x47
LIST_HEADER = 0x48
TABLE = 0x4D
EQEDIT = 0x58

# The DocInfo record each ID_MAPPINGS count stands for, in the order of the counts. The seven font counts (one
# per script: Korean, English, Chinese, Japanese, other, symbol, user) share the FACE_NAME records.
MAPPING_NAMES = ["binData", "fontKorean", "fontEnglish", "fontChinese", "fontJapanese", "fontOther",
                 "fontSymbol", "fontUser", "borderFill", "charShape", "tabDef", "numbering", "bullet",
                 "paraShape", "style", "memoShape", "trackChange", "trackChangeAuthor"]
FONT_NAMES = MAPPING_NAMES[1:8]
COUNTED_TAGS = {"binData": BIN_DATA, "borderFill": BORDER_FILL, "charShape": CHAR_SHAPE, "tabDef": TAB_DEF,
                "numbering": NUMBERING, "bullet": BULLET, "paraShape": PARA_SHAPE, "style": STYLE,
                "memoShape": MEMO_SHAPE}

# Control characters of PARA_TEXT that take one WCHAR; every other code below 32 takes eight (the code, six
# WCHARs of data, the code again). Of the eight-wide ones, these stand for a control with its own CTRL_HEADER.
ONE_WIDE = {0, 10, 13, 24, 25, 26, 27, 28, 29, 30, 31}
EXTENDED = {1, 2, 3, 11, 12, 14, 15, 16, 17, 18, 21, 22, 23}
# What a reader of the text sees for the one-wide codes that are not just structure.
SHOWN = {9: "\t", 10: "\n", 24: "-", 30: " ", 31: " "}


class Fault(Exception):
    pass


class Report:
    def __init__(self, path):
        self.data = {"reader": "olefile", "file": path, "ok": False, "error": "", "faults": [], "warnings": []}

    def fault(self, text):
        self.data["faults"].append(text)

    def warn(self, text):
        self.data["warnings"].append(text)


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0] if at + 2 <= len(data) else None


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0] if at + 4 <= len(data) else None


def wchar_string(data, at):
    """A WCHAR array (16-bit length, then UTF-16LE units) at `at`: (text, offset after it) or (None, at)."""
    length = u16(data, at)
    if length is None or at + 2 + 2 * length > len(data):
        return None, at
    return data[at + 2:at + 2 + 2 * length].decode("utf-16-le", "surrogatepass"), at + 2 + 2 * length


def parse_records(stream, name, report):
    """The records of a stream as (tag, level, data). Stops at the first fault, which it reports."""
    records = []
    at = 0
    previous_level = -1
    while at < len(stream):
        if len(stream) - at < 4:
            report.fault(f"{name}: a record header is cut at byte {at}")
            break
        header = u32(stream, at)
        tag, level, size = header & 0x3FF, (header >> 10) & 0x3FF, header >> 20
        at += 4
        if size == 0xFFF:
            if len(stream) - at < 4:
                report.fault(f"{name}: the long size of record {len(records)} is cut")
                break
            size = u32(stream, at)
            at += 4
        if size > len(stream) - at:
            report.fault(f"{name}: record {len(records)} (tag {tag}) of {size} bytes runs past the end")
            break
        if level > previous_level + 1:
            report.fault(f"{name}: record {len(records)} (tag {tag}) jumps from level {previous_level} to {level}")
            break
        records.append((tag, level, stream[at:at + size]))
        previous_level = level
        at += size
    return records


def read_stream(ole, path, compressed, report):
    data = ole.openstream(path).read()
    if not compressed:
        return data
    try:
        return zlib.decompress(data, -15)
    except zlib.error as error:
        report.fault(f"{path}: does not inflate ({error})")
        return None


def check_header(ole, report):
    if not ole.exists("FileHeader"):
        raise Fault("no FileHeader stream")
    data = ole.openstream("FileHeader").read()
    if len(data) < 256:
        report.fault(f"FileHeader has {len(data)} bytes, not 256")
    signature = data[:32]
    if signature.rstrip(b"\0") != SIGNATURE:
        raise Fault(f"FileHeader signature is {signature.rstrip(bytes(1))!r}")
    version = u32(data, 32) or 0
    flags = u32(data, 36) or 0
    header = {
        "signature": SIGNATURE.decode(),
        "version": f"{version >> 24}.{(version >> 16) & 0xFF}.{(version >> 8) & 0xFF}.{version & 0xFF}",
        "flags": flags,
        "compressed": bool(flags & 1),
        "password": bool(flags & 2),
        "distribution": bool(flags & 4),
    }
    report.data["header"] = header
    if version >> 24 != 5:
        report.fault(f"version {header['version']} is not 5.x")
    return header


def check_doc_info(records, report):
    """Counts of ID_MAPPINGS against the records; returns the counts."""
    by_tag = {}
    for tag, _, _ in records:
        by_tag[tag] = by_tag.get(tag, 0) + 1
    if not records or records[0][0] != DOCUMENT_PROPERTIES:
        report.fault("DocInfo does not start with DOCUMENT_PROPERTIES")
        section_count = None
    else:
        section_count = u16(records[0][2], 0)
    mappings = [data for tag, _, data in records if tag == ID_MAPPINGS]
    if len(mappings) != 1:
        report.fault(f"DocInfo has {len(mappings)} ID_MAPPINGS records")
        return section_count, {}
    data = mappings[0]
    if len(data) % 4 or len(data) < 4 * 15:
        report.fault(f"ID_MAPPINGS has {len(data)} bytes")
    values = struct.unpack_from(f"<{min(len(data) // 4, len(MAPPING_NAMES))}i", data, 0)
    counts = dict(zip(MAPPING_NAMES, values))
    report.data["idMappings"] = counts
    for name, count in counts.items():
        if count < 0:
            report.fault(f"ID_MAPPINGS {name} is {count}")
    fonts = sum(counts.get(name, 0) for name in FONT_NAMES)
    if by_tag.get(FACE_NAME, 0) != fonts:
        report.fault(f"ID_MAPPINGS counts {fonts} fonts, DocInfo has {by_tag.get(FACE_NAME, 0)} FACE_NAME records")
    for name, tag in COUNTED_TAGS.items():
        if name in counts and counts[name] != by_tag.get(tag, 0):
            report.fault(f"ID_MAPPINGS counts {counts[name]} {name}, DocInfo has {by_tag.get(tag, 0)} records")
    return section_count, counts


def check_shape_references(records, counts, report):
    """Ids that the char shapes, para shapes and styles of DocInfo hold must name existing entries."""
    char_shapes = para_shapes = 0
    for tag, _, data in records:
        if tag == CHAR_SHAPE:
            # 68 bytes up to 5.0.2.0; later versions add a border fill id and a strike-out colour.
            if len(data) < 68:
                report.fault(f"CHAR_SHAPE {char_shapes} has {len(data)} bytes")
            else:
                for script, name in enumerate(FONT_NAMES):
                    font = u16(data, 2 * script)
                    if font >= counts.get(name, 0):
                        report.fault(f"CHAR_SHAPE {char_shapes} names {name} font {font} of {counts.get(name, 0)}")
                border = u16(data, 68) if len(data) >= 70 else 0
                if border > counts.get("borderFill", 0):
                    report.fault(f"CHAR_SHAPE {char_shapes} names border fill {border} of "
                                 f"{counts.get('borderFill', 0)}")
            char_shapes += 1
        elif tag == PARA_SHAPE:
            if len(data) < 42:
                report.fault(f"PARA_SHAPE {para_shapes} has {len(data)} bytes")
            else:
                tab_def, border = u16(data, 28), u16(data, 32)
                if tab_def >= max(counts.get("tabDef", 0), 1):
                    report.fault(f"PARA_SHAPE {para_shapes} names tab def {tab_def} of {counts.get('tabDef', 0)}")
                if border > counts.get("borderFill", 0):
                    report.fault(f"PARA_SHAPE {para_shapes} names border fill {border} of "
                                 f"{counts.get('borderFill', 0)}")
            para_shapes += 1
        elif tag == STYLE:
            _, at = wchar_string(data, 0)
            _, at = wchar_string(data, at)
            para_shape, char_shape = u16(data, at + 4), u16(data, at + 6)
            if para_shape is None or char_shape is None:
                report.fault("a STYLE record is cut")
            elif para_shape >= counts.get("paraShape", 0) or char_shape >= counts.get("charShape", 0):
                report.fault(f"a STYLE names para shape {para_shape} and char shape {char_shape}")


def check_bin_data(records, streams, report):
    """Every embedded or stored binary item of DocInfo has its BinData stream."""
    by_lower = {name.lower(): name for name in streams}
    items = []
    for tag, _, data in records:
        if tag != BIN_DATA:
            continue
        kind = (u16(data, 0) or 0) & 0xF
        if kind == 0:
            items.append({"type": "link"})
            continue
        item_id = u16(data, 2)
        extension, _ = wchar_string(data, 4)
        if item_id is None or extension is None:
            report.fault("a BIN_DATA record is cut")
            continue
        name = f"BinData/BIN{item_id:04X}.{extension}"
        item = {"type": "embedding" if kind == 1 else "storage", "id": item_id, "stream": name}
        items.append(item)
        if name.lower() not in by_lower:
            report.fault(f"BIN_DATA {item_id} names a missing stream {name}")
        else:
            item["stream"] = by_lower[name.lower()]
    named = {item.get("stream", "").lower() for item in items}
    for name in streams:
        if name.startswith("BinData/") and name.lower() not in named:
            report.warn(f"{name} is named by no BIN_DATA record")
    report.data["binData"] = items


def paragraph_text(data, report, where):
    """The text of a PARA_TEXT record and the codes of its extended controls with their ctrl ids, in order."""
    units = struct.unpack_from(f"<{len(data) // 2}H", data, 0)
    text = []
    controls = []
    i = 0
    while i < len(units):
        code = units[i]
        if code >= 32:
            text.append(code)
            i += 1
            continue
        if code in ONE_WIDE:
            text.extend(ord(c) for c in SHOWN.get(code, ""))
            i += 1
            continue
        if i + 8 > len(units):
            report.fault(f"{where}: control {code} at {i} is cut")
            break
        if units[i + 7] != code:
            report.fault(f"{where}: control {code} at {i} does not end with its code")
        if code in EXTENDED:
            controls.append(struct.pack("<HH", units[i + 1], units[i + 2])[::-1].decode("latin-1"))
        text.extend(ord(c) for c in SHOWN.get(code, ""))
        i += 8
    chars = struct.pack(f"<{len(text)}H", *text).decode("utf-16-le", "replace")
    return chars, controls, len(units)


class Section:
    """Walks the records of one section: paragraphs, the controls under them, and the lists under those."""

    def __init__(self, name, records, counts, report):
        self.name, self.records, self.counts, self.report = name, records, counts, report
        self.at = 0
        self.tables = []
        self.equations = []
        self.paragraph_count = 0

    def where(self):
        return f"{self.name} record {self.at}"

    def paragraphs(self, level, count=None):
        """Reads the paragraphs at `level` (all that follow, or `count`); returns their texts."""
        texts = []
        while self.at < len(self.records) and (count is None or len(texts) < count):
            tag, record_level, _ = self.records[self.at]
            if record_level < level:
                break
            if tag != PARA_HEADER or record_level != level:
                if count is not None:
                    self.report.fault(f"{self.where()}: expected paragraph {len(texts) + 1} of {count}, "
                                      f"found tag {tag} at level {record_level}")
                    break
                self.report.fault(f"{self.where()}: tag {tag} at level {record_level} outside a paragraph")
                self.at += 1
                continue
            texts.append(self.paragraph(level))
        if count is not None and len(texts) < count:
            self.report.fault(f"{self.name}: a list of {count} paragraphs has {len(texts)}")
        return texts

    def paragraph(self, level):
        header = self.records[self.at][2]
        where = self.where()
        self.paragraph_count += 1
        self.at += 1
        chars = (u32(header, 0) or 0) & 0x7FFFFFFF
        para_shape = u16(header, 8)
        style = header[10] if len(header) > 10 else None
        char_shape_count = u16(header, 12)
        if char_shape_count is None:
            self.report.fault(f"{where}: PARA_HEADER has {len(header)} bytes")
            char_shape_count = 0
        if para_shape is not None and para_shape >= self.counts.get("paraShape", 0):
            self.report.fault(f"{where}: para shape {para_shape} of {self.counts.get('paraShape', 0)}")
        if style is not None and style >= self.counts.get("style", 0):
            self.report.fault(f"{where}: style {style} of {self.counts.get('style', 0)}")
        text, controls, units = "", [], None
        seen_char_shapes = None
        headers = []
        while self.at < len(self.records) and self.records[self.at][1] > level:
            tag, record_level, data = self.records[self.at]
            if record_level != level + 1:
                self.report.fault(f"{self.where()}: tag {tag} at level {record_level} under a paragraph")
                self.at += 1
            elif tag == PARA_TEXT:
                text, controls, units = paragraph_text(data, self.report, self.where())
                self.at += 1
            elif tag == PARA_CHAR_SHAPE:
                seen_char_shapes = self.char_shapes(data)
                self.at += 1
            elif tag == CTRL_HEADER:
                headers.append(data[:4][::-1].decode("latin-1"))
                self.control(level + 1)
            else:
                self.at += 1
        if units is None and chars > 1:
            self.report.fault(f"{where}: {chars} characters but no PARA_TEXT")
        if units is not None and units != chars:
            self.report.fault(f"{where}: PARA_HEADER counts {chars} characters, PARA_TEXT has {units}")
        if seen_char_shapes is None:
            self.report.fault(f"{where}: no PARA_CHAR_SHAPE")
        elif seen_char_shapes != char_shape_count:
            self.report.fault(f"{where}: PARA_HEADER counts {char_shape_count} char shapes, "
                              f"PARA_CHAR_SHAPE has {seen_char_shapes}")
        if controls != headers:
            self.report.fault(f"{where}: the text has controls {controls}, the records {headers}")
        return text

    def char_shapes(self, data):
        if len(data) % 8:
            self.report.fault(f"{self.where()}: PARA_CHAR_SHAPE has {len(data)} bytes")
        previous = -1
        for i in range(len(data) // 8):
            position, shape = struct.unpack_from("<II", data, 8 * i)
            if (i == 0 and position != 0) or position <= previous:
                self.report.fault(f"{self.where()}: char shape run {i} starts at {position}")
            if shape >= self.counts.get("charShape", 0):
                self.report.fault(f"{self.where()}: char shape {shape} of {self.counts.get('charShape', 0)}")
            previous = position
        return len(data) // 8

    def control(self, ctrl_level):
        ctrl_id = self.records[self.at][2][:4][::-1].decode("latin-1")
        self.at += 1
        table = None
        level = ctrl_level + 1
        while self.at < len(self.records) and self.records[self.at][1] > ctrl_level:
            tag, record_level, data = self.records[self.at]
            if record_level > level:
                self.at += 1
            elif tag == TABLE:
                table = self.table_record(data)
                self.at += 1
            elif tag == LIST_HEADER:
                self.at += 1
                count = u16(data, 0) or 0
                texts = self.paragraphs(level, count)
                if ctrl_id == "tbl " and table is not None:
                    self.cell(table, data, texts)
            elif tag == EQEDIT:
                script, _ = wchar_string(data, 4)
                if script is None:
                    self.report.fault(f"{self.where()}: EQEDIT is cut")
                else:
                    self.equations.append(script)
                self.at += 1
            elif tag == PARA_HEADER:
                self.report.fault(f"{self.where()}: a paragraph under control {ctrl_id!r} without a LIST_HEADER")
                self.paragraph(level)
            else:
                self.at += 1
        if table is not None:
            self.finish_table(table)
        elif ctrl_id == "tbl ":
            self.report.fault(f"{self.where()}: a table control without a TABLE record")

    def table_record(self, data):
        rows, cols = u16(data, 4), u16(data, 6)
        if rows is None or cols is None:
            self.report.fault(f"{self.where()}: TABLE has {len(data)} bytes")
            rows = cols = 0
        row_cells = [u16(data, 18 + 2 * i) for i in range(rows)]
        if None in row_cells:
            self.report.fault(f"{self.where()}: TABLE lacks cell counts for its {rows} rows")
            row_cells = [c or 0 for c in row_cells]
        table = {"rows": rows, "cols": cols, "cells": []}
        self.tables.append(table)
        return {"report": table, "expected": sum(row_cells), "covered": set()}

    def cell(self, table, data, texts):
        col, row, col_span, row_span = (u16(data, 8 + 2 * i) for i in range(4))
        if row_span is None:
            self.report.fault(f"{self.where()}: a cell's LIST_HEADER has {len(data)} bytes")
            return
        rows, cols = table["report"]["rows"], table["report"]["cols"]
        for r in range(row, row + max(row_span, 1)):
            for c in range(col, col + max(col_span, 1)):
                if r >= rows or c >= cols or (r, c) in table["covered"]:
                    self.report.fault(f"{self.where()}: cell ({row},{col}) span ({row_span},{col_span}) "
                                      f"overlaps or leaves the {rows}x{cols} table")
                    return
                table["covered"].add((r, c))
        table["report"]["cells"].append({"row": row, "col": col, "rowSpan": row_span, "colSpan": col_span,
                                         "text": "\n".join(texts)})

    def finish_table(self, table):
        report = table["report"]
        if len(report["cells"]) != table["expected"]:
            self.report.fault(f"{self.name}: a table's rows count {table['expected']} cells, it has "
                              f"{len(report['cells'])}")
        if len(table["covered"]) != report["rows"] * report["cols"]:
            self.report.fault(f"{self.name}: a {report['rows']}x{report['cols']} table covers "
                              f"{len(table['covered'])} places")


def check(path, report):
    if not olefile.isOleFile(path):
        raise Fault("not a compound file")
    with olefile.OleFileIO(path) as ole:
        streams = {"/".join(parts): ole.get_size("/".join(parts)) for parts in ole.listdir()}
        report.data["streams"] = streams
        header = check_header(ole, report)
        for required in ("DocInfo", "\x05HwpSummaryInformation"):
            if required not in streams:
                report.fault(f"no {required!r} stream")
        sections = sorted((n for n in streams if re.fullmatch(r"BodyText/Section\d+", n)),
                          key=lambda n: int(n[len("BodyText/Section"):]))
        if header["password"]:
            raise Fault("the document is password-protected: its streams are encrypted")
        records_per_stream = {}
        doc_info = read_stream(ole, "DocInfo", header["compressed"], report) if "DocInfo" in streams else None
        counts = {}
        if doc_info is not None:
            records = parse_records(doc_info, "DocInfo", report)
            records_per_stream["DocInfo"] = len(records)
            section_count, counts = check_doc_info(records, report)
            check_shape_references(records, counts, report)
            check_bin_data(records, streams, report)
            report.data["declaredSections"] = section_count
        if header["distribution"]:
            viewed = [n for n in streams if n.startswith("ViewText/")]
            report.data["records"] = records_per_stream
            raise Fault(f"the document is for distribution only: its body ({len(viewed)} ViewText streams) "
                        f"is encrypted")
        if not sections:
            report.fault("no BodyText/Section0 stream")
        if [int(n[len("BodyText/Section"):]) for n in sections] != list(range(len(sections))):
            report.fault(f"sections are not numbered from 0: {sections}")
        if doc_info is not None and report.data.get("declaredSections") != len(sections):
            report.fault(f"DOCUMENT_PROPERTIES counts {report.data.get('declaredSections')} sections, "
                         f"the file has {len(sections)}")
        paragraphs, tables, equations, texts_per_section = [], [], [], []
        for name in sections:
            stream = read_stream(ole, name, header["compressed"], report)
            if stream is None:
                continue
            records = parse_records(stream, name, report)
            records_per_stream[name] = len(records)
            walker = Section(name, records, counts, report)
            texts = walker.paragraphs(0)
            if not texts:
                report.fault(f"{name} has no paragraph")
            texts_per_section.append(len(texts))
            paragraphs.extend(texts)
            tables.extend(walker.tables)
            equations.extend(walker.equations)
        report.data.update({"records": records_per_stream, "sections": len(sections),
                            "paragraphsPerSection": texts_per_section, "paragraphs": paragraphs,
                            "text": "\n".join(paragraphs), "tables": tables, "equations": equations})


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    report = Report(argv[1])
    try:
        check(argv[1], report)
    except Fault as fault:
        report.fault(str(fault))
    except Exception as error:  # noqa: BLE001 - whatever a damaged file makes us trip over is a finding to report
        report.fault(f"the check stopped on {type(error).__name__}: {error}")
    faults = report.data["faults"]
    report.data["ok"] = not faults
    report.data["error"] = faults[0] if faults else ""
    json.dump(report.data, sys.stdout, ensure_ascii=False)
    sys.stdout.write("\n")
    return 0 if not faults else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
