// A writer of Access/Jet 4 files for the tests only (it is not shipped): tables, columns and
// rows from a plain description, laid out as the mdbtools project's notes on the Jet format
// describe them. No indexes, no free space: just enough for a reader to find every row.
// The database definition page (page 0, partly RC4-masked and not documented enough) is
// taken from a file Access wrote, one of the tests' samples.
import { readFileSync } from "fs";
import { fileURLToPath } from "url";
import { dirname, join } from "path";

const PAGE = 4096;
const here = dirname(fileURLToPath(import.meta.url));
const headerSample = join(here, "..", "legacy", "samples", "DateTestDatabase.mdb");

// type code, bytes in the fixed part of a row (0: variable length)
export const TYPES = {
    bool: [0x01, 1], byte: [0x02, 1], integer: [0x03, 2], long: [0x04, 4], currency: [0x05, 8],
    single: [0x06, 4], double: [0x07, 8], datetime: [0x08, 8], text: [0x0a, 0], ole: [0x0b, 0], memo: [0x0c, 0],
};

// Days since 30/12/1899 of an ISO date ("2038-01-19" or "2038-01-19T03:14:07"), the time as
// the fraction (also before 1899, where the fraction still counts forwards from midnight).
export function dayCount(iso) {
    const [date, time = "00:00:00"] = iso.split("T");
    const [y, m, d] = date.split("-").map(Number);
    const epoch = Date.UTC(1899, 11, 30);
    const day = new Date(0);
    day.setUTCFullYear(y, m - 1, d);
    day.setUTCHours(0, 0, 0, 0);
    const days = Math.round((day.getTime() - epoch) / 86400000);
    const [hh, mm, ss] = time.split(":").map(Number);
    const fraction = (hh * 3600 + mm * 60 + (ss || 0)) / 86400;
    return days < 0 ? days - fraction : days + fraction;
}

// A Currency amount ("1995.5", "-0.0001") as the scaled 64-bit integer Access keeps.
export function currencyScaled(text) {
    const match = /^(-?)(\d+)(?:\.(\d{1,4}))?$/.exec(String(text).trim());
    if (!match) throw new Error(`not a Currency amount: ${text}`);
    const scaled = BigInt(match[2]) * 10000n + BigInt((match[3] ?? "").padEnd(4, "0"));
    return match[1] ? -scaled : scaled;
}

// Text as Jet 4 keeps it: "compressed" (FF FE, one byte a character) when every character
// is one byte wide and not zero, UTF-16 otherwise.
function encodeText(text, mayCompress) {
    const units = [...Array(text.length).keys()].map((i) => text.charCodeAt(i));
    if (mayCompress && text.length > 0 && units.every((u) => u > 0 && u < 0x100)) {
        return Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from(units)]);
    }
    return Buffer.from(text, "utf16le");
}

class Pages {
    constructor() { this.pages = []; }
    add(buffer) { this.pages.push(buffer); return this.pages.length - 1; }
    reserve() { return this.add(null); }
    set(number, buffer) { this.pages[number] = buffer; }
    get count() { return this.pages.length; }
}

// A data page (or a long-value page, marked "LVAL") holding these records, the first at the end.
function dataPage(owner, records) {
    const page = Buffer.alloc(PAGE);
    page[0] = 0x01;
    page[1] = 0x01;
    if (owner === "LVAL") page.write("LVAL", 4, "latin1");
    else page.writeUInt32LE(owner, 4);
    page.writeUInt16LE(records.length, 12);
    let end = PAGE;
    records.forEach((record, i) => {
        end -= record.length;
        record.copy(page, end);
        page.writeUInt16LE(end, 14 + 2 * i);
    });
    const free = end - (14 + 2 * records.length);
    if (free < 0) throw new Error("records do not fit in a page");
    page.writeUInt16LE(free, 2);
    return page;
}

const pageRow = (page, row) => ((page << 8) | row) >>> 0;

// The value of a memo column in a row: inline when short, else in long-value pages.
function memoField(bytes, pages) {
    const header = Buffer.alloc(12);
    if (bytes.length <= 1000) {
        header.writeUInt32LE((bytes.length | 0x80000000) >>> 0, 0);
        return Buffer.concat([header, bytes]);
    }
    const room = PAGE - 14 - 2 - 4;
    if (bytes.length <= room) {
        const lval = pages.add(dataPage("LVAL", [bytes]));
        header.writeUInt32LE((bytes.length | 0x40000000) >>> 0, 0);
        header.writeUInt32LE(pageRow(lval, 0), 4);
        return header;
    }
    // A chain of long-value records, each with the pointer to the next first.
    const chunks = [];
    for (let at = 0; at < bytes.length; at += room - 4) chunks.push(bytes.subarray(at, at + room - 4));
    const numbers = chunks.map(() => pages.reserve());
    chunks.forEach((chunk, i) => {
        const next = Buffer.alloc(4);
        next.writeUInt32LE(i + 1 < chunks.length ? pageRow(numbers[i + 1], 0) : 0, 0);
        pages.set(numbers[i], dataPage("LVAL", [Buffer.concat([next, chunk])]));
    });
    header.writeUInt32LE(bytes.length, 0);
    header.writeUInt32LE(pageRow(numbers[0], 0), 4);
    return header;
}

function fixedValue(type, value) {
    const bytes = Buffer.alloc(TYPES[type][1]);
    switch (type) {
        case "bool": break; // kept in the null mask
        case "byte": bytes.writeUInt8(value); break;
        case "integer": bytes.writeInt16LE(value); break;
        case "long": bytes.writeInt32LE(value); break;
        case "currency": bytes.writeBigInt64LE(currencyScaled(value)); break;
        case "single": bytes.writeFloatLE(value); break;
        case "double": bytes.writeDoubleLE(value); break;
        case "datetime": bytes.writeDoubleLE(typeof value === "number" ? value : dayCount(value)); break;
        default: throw new Error(`unknown type ${type}`);
    }
    return bytes;
}

// One row as Jet 4 keeps it: column count, fixed part, variable part, then from the end
// the null mask, the variable-column count, the offsets in reverse order and the end of data.
function rowBytes(table, values, pages) {
    const columns = table.columns;
    const fixedSize = columns.reduce((sum, c) => sum + TYPES[c.type][1], 0);
    const fixed = Buffer.alloc(fixedSize);
    const mask = Buffer.alloc((columns.length + 7) >> 3);
    const variable = [];
    let fixedAt = 0;
    columns.forEach((column, i) => {
        const value = values[i];
        const present = column.type === "bool" ? value === true : value !== null && value !== undefined;
        if (present) mask[i >> 3] |= 1 << (i & 7);
        const width = TYPES[column.type][1];
        if (width > 0) {
            if (present && column.type !== "bool") fixedValue(column.type, value).copy(fixed, fixedAt);
            fixedAt += width;
        } else if (!present) {
            variable.push(Buffer.alloc(0));
        } else if (column.type === "text") {
            variable.push(encodeText(String(value), true));
        } else if (column.type === "ole") {
            variable.push(memoField(Buffer.from(String(value).replace(/^0x/, ""), "hex"), pages));
        } else {
            const text = String(value);
            variable.push(memoField(encodeText(text, text.length <= 1024), pages));
        }
    });
    const parts = [Buffer.alloc(2), fixed];
    parts[0].writeUInt16LE(columns.length);
    const offsets = [];
    let at = 2 + fixedSize;
    for (const value of variable) {
        offsets.push(at);
        parts.push(value);
        at += value.length;
    }
    const tail = Buffer.alloc(2 + 2 * variable.length + 2);
    tail.writeUInt16LE(at, 0); // end of data
    offsets.reverse().forEach((offset, i) => tail.writeUInt16LE(offset, 2 + 2 * i));
    tail.writeUInt16LE(variable.length, 2 + 2 * variable.length);
    const row = Buffer.concat([...parts, tail, mask]);
    return row;
}

function tablePage(table, system, rowCount, mapPage) {
    const page = Buffer.alloc(PAGE);
    page[0] = 0x02;
    page[1] = 0x01;
    page.writeUInt32LE(rowCount, 16);
    page[40] = system ? 0x53 : 0x4e;
    const variableCount = table.columns.filter((c) => TYPES[c.type][1] === 0).length;
    page.writeUInt16LE(table.columns.length, 41);
    page.writeUInt16LE(variableCount, 43);
    page.writeUInt16LE(table.columns.length, 45);
    page.writeUInt32LE(pageRow(mapPage, 0), 55);
    page.writeUInt32LE(pageRow(mapPage, 1), 59);
    let at = 63;
    let fixedAt = 0;
    let variableAt = 0;
    table.columns.forEach((column, i) => {
        const [code, width] = TYPES[column.type];
        page[at] = code;
        page.writeUInt16LE(i, at + 5);
        page.writeUInt16LE(width === 0 ? variableAt++ : 0, at + 7);
        page.writeUInt16LE(i, at + 9);
        if (column.type === "text" || column.type === "memo") page.writeUInt16LE(0x409, at + 11);
        page[at + 15] = (width > 0 ? 0x01 : 0) | 0x02;
        page[at + 16] = column.type === "text" || column.type === "memo" ? 0x01 : 0;
        page.writeUInt16LE(width > 0 ? fixedAt : 0, at + 21);
        page.writeUInt16LE(column.type === "text" ? 510 : width, at + 23);
        fixedAt += width;
        at += 25;
    });
    for (const column of table.columns) {
        const name = Buffer.from(column.name, "utf16le");
        page.writeUInt16LE(name.length, at);
        name.copy(page, at + 2);
        at += 2 + name.length;
    }
    page.writeUInt16LE(0xffff, at);
    at += 2;
    if (at > PAGE) throw new Error(`table ${table.name}: too many columns for one page`);
    page.writeUInt32LE(at - 8, 8);
    page.writeUInt16LE(PAGE - at - 8, 2);
    return page;
}

// The map of a table's data pages (one bit a page from the first) and an empty map of pages
// with free space.
function mapPage(first, count) {
    const bitmap = Buffer.alloc(Math.max(1, (count + 7) >> 3));
    for (let i = 0; i < count; ++i) bitmap[i >> 3] |= 1 << (i & 7);
    const used = Buffer.concat([Buffer.from([0x00, 0, 0, 0, 0]), bitmap]);
    used.writeUInt32LE(count ? first : 0, 1);
    const free = Buffer.from([0x00, 0, 0, 0, 0, 0]);
    return dataPage(0, [used, free]);
}

// Writes the rows of a table into data pages from the next page on; answers their numbers.
function writeRows(table, tdef, pages) {
    const pending = [];
    let size = 0;
    const dataPages = [];
    const flush = () => {
        if (pending.length === 0) return;
        dataPages.push({ number: pages.reserve(), records: [...pending] });
        pending.length = 0;
        size = 0;
    };
    for (const values of table.rows) {
        const row = rowBytes(table, values, pages);
        if (row.length > PAGE - 16) throw new Error(`table ${table.name}: a row does not fit in a page`);
        if (14 + size + row.length + 2 * (pending.length + 1) > PAGE || pending.length >= 255) flush();
        pending.push(row);
        size += row.length;
    }
    flush();
    for (const { number, records } of dataPages) pages.set(number, dataPage(tdef, records));
    return dataPages.map((p) => p.number);
}

const catalogColumns = [
    { name: "Id", type: "long" }, { name: "ParentId", type: "long" }, { name: "Name", type: "text" },
    { name: "Type", type: "integer" }, { name: "Flags", type: "long" }, { name: "LvProp", type: "ole" },
];

// The whole file for {tables: [{name, columns: [{name, type}], rows: [[value, ...]]}]}.
export function writeJet4(description) {
    const pages = new Pages();
    pages.add(readFileSync(headerSample).subarray(0, PAGE));
    pages.add(dataPage(0, []));
    const catalogTdef = pages.reserve(); // always page 2
    const catalogMap = pages.reserve();
    const catalog = { name: "MSysObjects", columns: catalogColumns, rows: [[2, 0x0f000001, "MSysObjects", 1, 0x80000002 | 0, null]] };
    for (const table of description.tables) {
        for (const column of table.columns)
            if (!TYPES[column.type]) throw new Error(`table ${table.name}: unknown type ${column.type}`);
        const tdef = pages.reserve();
        const map = pages.reserve();
        const data = writeRows(table, tdef, pages);
        // Rows stay in contiguous pages only while long values do not fall between them.
        const first = data[0] ?? 0;
        const count = data.length ? data[data.length - 1] - first + 1 : 0;
        const bitmap = mapPageFor(first, count, data);
        pages.set(tdef, tablePage(table, false, table.rows.length, map));
        pages.set(map, bitmap);
        catalog.rows.push([tdef, 0x0f000001, table.name, 1, 0, null]);
    }
    const catalogData = writeRows(catalog, catalogTdef, pages);
    pages.set(catalogTdef, tablePage(catalog, true, catalog.rows.length, catalogMap));
    pages.set(catalogMap, mapPageFor(catalogData[0], catalogData[catalogData.length - 1] - catalogData[0] + 1, catalogData));
    return Buffer.concat(pages.pages.map((p) => p ?? Buffer.alloc(PAGE)));
}

function mapPageFor(first, span, data) {
    const page = mapPage(first, 0);
    const bitmap = Buffer.alloc(Math.max(1, (span + 7) >> 3));
    for (const number of data) bitmap[(number - first) >> 3] |= 1 << ((number - first) & 7);
    if (5 + bitmap.length + 6 + 14 + 4 > PAGE) throw new Error("a table too large for this writer's page map");
    const used = Buffer.concat([Buffer.from([0x00, 0, 0, 0, 0]), bitmap]);
    used.writeUInt32LE(first, 1);
    return dataPage(0, [used, Buffer.from([0x00, 0, 0, 0, 0, 0])]);
}
