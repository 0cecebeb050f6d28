#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// Readers of binary HWP files that we did not write, run as separate programs on a file, so that a test can
// check that what our writer made is read by someone else as we meant it. Link vellorin_hwpcheck; the build
// installs @ohah/hwpjs with npm ci into <build>/hwp-check first.
//
// Each function runs its tool on `path` and waits at most `timeoutMs`. The result:
//   ran     the tool started, finished in time and printed its JSON report. False when node or
//           /usr/bin/python3 (or its python3-olefile) is missing, the tool timed out or crashed: `error` says
//           which. A test that expects a reader to refuse a file must check `ran && !ok`.
//   ok      the reader read the file (hwpjs) or found no fault in it (olefile).
//   error   why not: the reader's own message or the first fault; empty when ok.
//   report  the whole JSON object the tool printed (empty when !ran).
//
// The report of both readers has
//   "reader"      "@ohah/hwpjs" or "olefile"
//   "file"        the path read
//   "ok", "error" as above
//   "sections"    number of BodyText sections read
//   "declaredSections"      the section count that DocInfo's DOCUMENT_PROPERTIES gives
//   "paragraphsPerSection"  [number of top-level paragraphs of each section]
//   "paragraphs"  [text of every top-level paragraph, all sections in order]: characters as stored, with
//                 tab as "\t", line break as "\n", hyphen as "-", the two fixed blanks as " ", and every other
//                 control character (section definition, table, equation, field, number…) left out
//   "text"        the paragraphs joined with "\n"
//   "tables"      [{"rows", "cols", "cells": [{"row", "col", "rowSpan", "colSpan", "text"}]}] in document
//                 order, nested tables included; a cell's text is its paragraphs joined with "\n"
//   "equations"   [script of every equation control, in document order] (hwpjs: null for one whose script it
//                 does not expose)
// @ohah/hwpjs adds
//   "version"     the parser's package version
//   "header"      {"signature", "version" ("5.1.0.1"), "documentFlags": ["compressed", "encrypted",
//                 "distribution", …]}
// olefile adds
//   "faults"      [every fault found]; "warnings" [oddities that are not faults, e.g. an unnamed BinData stream]
//   "streams"     {stream path ("BodyText/Section0", "\u0005HwpSummaryInformation"): size in bytes}
//   "header"      {"signature", "version", "flags", "compressed", "password", "distribution"}
//   "idMappings"  {"binData", "fontKorean" … "fontUser", "borderFill", "charShape", "tabDef", "numbering",
//                 "bullet", "paraShape", "style", "memoShape", "trackChange", "trackChangeAuthor"} as stored
//   "binData"     [{"type": "link" | "embedding" | "storage", "id", "stream"}]
//   "records"     {stream: number of records}
//
// What olefile-check.py counts as a fault: no compound file, a FileHeader without the signature or not of
// version 5, a password or distribution flag (the body is then encrypted), streams that do not inflate, records
// that run past their stream or jump more than one level, ID_MAPPINGS counts that differ from the records,
// shape, style, font, tab and border fill ids that name nothing, BinData streams that are missing, a section
// count that differs from the streams, a paragraph whose character count, char shape runs or controls differ
// from its records, and table cells that overlap, leave the table or leave places empty.
namespace OutsideHwpReaders {

struct Result
{
    bool ran = false;
    bool ok = false;
    QString error;
    QJsonObject report;
};

inline constexpr int kDefaultTimeoutMs = 60000;

// @ohah/hwpjs (tools/hwp-check/read-hwp.mjs under node).
Result ReadWithHwpjs(const QString& path, int timeoutMs = kDefaultTimeoutMs);
// tools/hwp-check/olefile-check.py under /usr/bin/python3 (the CMake setting VELLORIN_SYSTEM_PYTHON).
Result CheckWithOlefile(const QString& path, int timeoutMs = kDefaultTimeoutMs);

// One line for a failed check's message: reader, file, error.
QString Describe(const Result& result);

// The strings of a JSON array (for "paragraphs" and "equations"); null and other values become "".
QStringList Strings(const QJsonArray& array);

} // namespace OutsideHwpReaders
