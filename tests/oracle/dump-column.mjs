// Second reader for store tests: prints one column of a table with the npm package
// mdb-reader, in the format of `chapterstore list`:
//   <record number> TAB <length> TAB <sha256 hex>   for a binary value
//   <record number> TAB NULL                        for a null value
// Usage: node dump-column.mjs FILE TABLE COLUMN [--password PW]
// With --password, the password stored in the file must equal PW exactly (mdb-reader itself
// does not check it; a file without a password matches the empty password); otherwise the
// script fails with exit status 3.
import { createHash } from "node:crypto";
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const args = process.argv.slice(2);
let password;
const passwordAt = args.indexOf("--password");
if (passwordAt >= 0) {
  password = args[passwordAt + 1];
  args.splice(passwordAt, 2);
}
if (args.length !== 3 || (passwordAt >= 0 && password === undefined)) {
  console.error("usage: node dump-column.mjs FILE TABLE COLUMN [--password PW]");
  process.exit(2);
}
const [file, tableName, columnName] = args;

try {
  const reader = new MDBReader(readFileSync(file), password === undefined ? {} : { password });
  if (password !== undefined && (reader.getPassword() ?? "") !== password) {
    console.error("Not a valid password.");
    process.exit(3);
  }
  const rows = reader.getTable(tableName).getData({ columns: [columnName] });
  const lines = rows.map((row, index) => {
    const value = row[columnName];
    if (value === null || value === undefined) return `${index + 1}\tNULL`;
    if (!Buffer.isBuffer(value)) throw new Error(`record ${index + 1}: not a binary value`);
    return `${index + 1}\t${value.length}\t${createHash("sha256").update(value).digest("hex")}`;
  });
  process.stdout.write(lines.map((line) => line + "\n").join(""));
} catch (error) {
  console.error(String(error && error.message ? error.message : error));
  process.exit(1);
}
