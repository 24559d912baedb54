#!/usr/bin/env node
// Loads a glTF / GLB file with three.js's GLTFLoader, as a web page would,
// and prints what it made of the file's meshes as JSON:
//
//   node tools/three-instances.mjs FILE
//   {"meshes": 1, "instanced": [{"name": "tree", "count": 200, "vertices": 106}]}
//
// "meshes" counts the ordinary meshes (one per primitive), "instanced" lists
// every InstancedMesh with its instance count. Exits 2 when the file cannot
// be read or loaded.
import fs from 'fs';
import path from 'path';

let GLTFLoader;
try {
    ({ GLTFLoader } = await import('three/examples/jsm/loaders/GLTFLoader.js'));
} catch (e) {
    console.error('three-instances: the three package is not installed; run `npm install --prefix tools`');
    process.exit(2);
}

// Node lacks the browser's ProgressEvent, which the loader sends while it
// decodes a .gltf file's embedded data.
globalThis.ProgressEvent ??= class extends Event {
    constructor(type, init = {}) {
        super(type);
        Object.assign(this, init);
    }
};

const file = process.argv[2];
if (!file) {
    console.error('usage: three-instances.mjs FILE');
    process.exit(2);
}

const bytes = fs.readFileSync(file);
const data = path.extname(file).toLowerCase() === '.glb'
    ? bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength)
    : bytes.toString('utf8');
new GLTFLoader().parse(data, '', (gltf) => {
    let meshes = 0;
    const instanced = [];
    gltf.scene.traverse((object) => {
        if (object.isInstancedMesh) {
            instanced.push({ name: object.name, count: object.count, vertices: object.geometry.attributes.position.count });
        } else if (object.isMesh) {
            meshes += 1;
        }
    });
    console.log(JSON.stringify({ meshes, instanced }));
}, (error) => {
    console.error(`three-instances: ${file}: ${error.message || error}`);
    process.exit(2);
});
