// Prints every user table of an Access file as mdb-reader (a second, independent reader)
// reads it, as JSON, for the tests to compare with what libmdb gives the program.
import MDBReader from "mdb-reader";
import { readFileSync } from "fs";

const reader = new MDBReader(readFileSync(process.argv[2]));
const tables = reader.getTableNames().map((name) => {
    const table = reader.getTable(name);
    const columns = table.getColumns().map((column) => ({ name: column.name, type: column.type }));
    const rows = table.getData({ rowLimit: undefined }).map((row) =>
        columns.map(({ name, type }) => {
            const value = row[name];
            if (value === null || value === undefined) return null;
            if (value instanceof Date) return Number.isNaN(value.getTime()) ? "invalid" : value.getTime();
            if (typeof value === "bigint") return value.toString();
            if (Buffer.isBuffer(value) || value instanceof Uint8Array) return "0x" + Buffer.from(value).toString("hex");
            return value;
        })
    );
    return { name, columns, rows };
});
process.stdout.write(JSON.stringify({ tables }));
