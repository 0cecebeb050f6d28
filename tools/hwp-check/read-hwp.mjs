// Reads a binary HWP file with @ohah/hwpjs, a parser we did not write, and prints what it understood as one JSON
// object on stdout. Exits 0 when it parsed the file, 1 when it refused it, 2 on a usage error.
//
//     node read-hwp.mjs FILE
//
// Run it from (or with NODE_PATH at) the folder where `npm ci` installed package-lock.json. The shape of the
// JSON is documented in tests/support/OutsideHwpReaders.h; the texts follow the same rules as
// olefile-check.py, so that the two readers' texts of one file can be compared as they are.

import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { resolve } from 'node:path';

// What a reader of the text sees for the control characters that are not just structure.
const SHOWN = { 9: '\t', 10: '\n', 24: '-', 30: ' ', 31: ' ' };

function paragraphText(paragraph) {
    let text = '';
    for (const record of paragraph.records ?? []) {
        if (record.type !== 'para_text')
            continue;
        const runs = record.runs ?? [];
        runs.forEach((run, i) => {
            if (run.kind === 'text') {
                text += run.text;
            } else if (run.kind === 'control' && SHOWN[run.code] !== undefined) {
                // hwpjs follows a tab, a hyphen or a blank with a text run of its own, but not a line break.
                const next = runs[i + 1];
                if (!(next?.kind === 'text' && next.text.startsWith(SHOWN[run.code])))
                    text += SHOWN[run.code];
            }
        });
    }
    return text;
}

// Every value under `node` (depth first, in document order) for which `pick` returns something.
function collect(node, pick, out = []) {
    if (Array.isArray(node)) {
        for (const item of node)
            collect(item, pick, out);
    } else if (node && typeof node === 'object') {
        const picked = pick(node);
        if (picked !== undefined)
            out.push(picked);
        for (const value of Object.values(node))
            collect(value, pick, out);
    }
    return out;
}

function tableOf(node) {
    if (node.type !== 'table' || !node.table)
        return undefined;
    const attributes = node.table.attributes ?? {};
    return {
        rows: attributes.row_count,
        cols: attributes.col_count,
        cells: (node.table.cells ?? []).map((cell) => ({
            row: cell.cell_attributes?.row_address,
            col: cell.cell_attributes?.col_address,
            rowSpan: cell.cell_attributes?.row_span,
            colSpan: cell.cell_attributes?.col_span,
            text: (cell.paragraphs ?? []).map(paragraphText).join('\n'),
        })),
    };
}

// The equation control's script, wherever under the control this version of the parser puts it.
function equationOf(node) {
    if (node.type !== 'ctrl_header' || node.ctrl_id !== 'eqed')
        return undefined;
    const scripts = collect(node.children ?? [], (child) => (typeof child.script === 'string' ? child.script : undefined));
    return scripts.length > 0 ? scripts[0] : null;
}

function summary(document) {
    const sections = document.body_text?.sections ?? [];
    const paragraphs = [];
    const paragraphsPerSection = [];
    for (const section of sections) {
        const texts = (section.paragraphs ?? []).map(paragraphText);
        paragraphsPerSection.push(texts.length);
        paragraphs.push(...texts);
    }
    const header = document.file_header ?? {};
    return {
        header: {
            signature: header.signature,
            version: header.version,
            documentFlags: header.document_flags ?? [],
        },
        sections: sections.length,
        declaredSections: document.doc_info?.document_properties?.area_count,
        paragraphsPerSection,
        paragraphs,
        text: paragraphs.join('\n'),
        tables: collect(sections, tableOf),
        equations: collect(sections, equationOf),
    };
}

function main(argv) {
    if (argv.length !== 1) {
        process.stderr.write('usage: node read-hwp.mjs FILE\n');
        return 2;
    }
    const file = resolve(argv[0]);
    const report = { reader: '@ohah/hwpjs', file, ok: false, error: '' };
    try {
        // Resolved from the working folder, where npm ci put node_modules, not from this script's folder.
        const require = createRequire(resolve(process.cwd(), 'package.json'));
        report.version = require('@ohah/hwpjs/package.json').version;
        const { toJson } = require('@ohah/hwpjs');
        const document = JSON.parse(toJson(readFileSync(file)));
        Object.assign(report, summary(document), { ok: true });
    } catch (error) {
        // The parser throws Error objects, plain strings or nothing useful; keep whatever it said.
        report.error = String(error?.message ?? error) || 'the parser failed without a message';
    }
    process.stdout.write(JSON.stringify(report) + '\n');
    return report.ok ? 0 : 1;
}

process.exitCode = main(process.argv.slice(2));
