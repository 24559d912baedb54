#!/usr/bin/env node
// Validates glTF / GLB files with the Khronos glTF Validator.
//
//   node tools/validate-gltf.js FILE... [--quiet]
//
// Prints each file's errors and warnings (one line each, with the JSON
// pointer of the object at fault) and exits 1 when any file has an error,
// 2 when a file cannot be read or the validator cannot run.
'use strict';

const fs = require('fs');
const path = require('path');

let validator;
try {
    validator = require('gltf-validator');
} catch (e) {
    console.error('validate-gltf: the gltf-validator package is not installed; run `npm install --prefix tools`');
    process.exit(2);
}

const args = process.argv.slice(2);
const quiet = args.includes('--quiet');
const files = args.filter((a) => a !== '--quiet');
if (files.length === 0) {
    console.error('usage: validate-gltf.js FILE... [--quiet]');
    process.exit(2);
}

const severityName = ['error', 'warning', 'info', 'hint'];

async function validate(file) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    const report = await validator.validateBytes(bytes, {
        uri: path.basename(file),
        maxIssues: 100,
        externalResourceFunction: (uri) =>
            new Promise((resolve, reject) => {
                fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)), (err, data) =>
                    err ? reject(err.toString()) : resolve(new Uint8Array(data)));
            }),
    });
    for (const m of report.issues.messages) {
        if (m.severity > 1 && quiet) continue;
        console.log(`${file}: ${severityName[m.severity]}: ${m.code}: ${m.message}${m.pointer ? ' (' + m.pointer + ')' : ''}`);
    }
    if (!quiet) {
        console.log(`${file}: ${report.issues.numErrors} errors, ${report.issues.numWarnings} warnings, ` +
                    `${report.issues.numInfos} infos, ${report.issues.numHints} hints`);
    }
    return report.issues.numErrors;
}

(async () => {
    let errors = 0;
    for (const file of files) {
        try {
            errors += await validate(file);
        } catch (e) {
            console.error(`${file}: cannot validate: ${e}`);
            process.exit(2);
        }
    }
    process.exit(errors > 0 ? 1 : 0);
})();
