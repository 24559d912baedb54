// The 3D view: the surface and the objects as read, then each run's clones
// coloured by the value the server sends per vertex. It draws only when
// something changed (orbiting, a resize, new meshes), so that a large result
// leaves the machine idle between moves.
import * as THREE from '../vendor/three.module.js';
import { OrbitControls } from '../vendor/OrbitControls.js';

// A payload of the server: counts, positions, values per vertex, triangles.
export function decodeMesh(buffer) {
  const [vertices, triangles] = new Uint32Array(buffer, 0, 2);
  let at = 8;
  const positions = new Float32Array(buffer, at, vertices * 3);
  at += vertices * 12;
  const values = new Float32Array(buffer, at, vertices);
  at += vertices * 4;
  const indices = new Uint32Array(buffer, at, triangles * 3);
  return { vertices, triangles, positions, values, indices };
}

function geometryOf(mesh) {
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.BufferAttribute(mesh.positions, 3));
  geometry.setIndex(new THREE.BufferAttribute(mesh.indices, 1));
  geometry.computeVertexNormals();
  geometry.computeBoundingSphere();
  return geometry;
}

// Blue through green to amber over [0, 1].
function rampColours(values) {
  const colours = new Float32Array(values.length * 3);
  const colour = new THREE.Color();
  values.forEach((v, i) => {
    colour.setHSL(0.62 - 0.52 * Math.min(Math.max(v, 0), 1), 0.7, 0.55);
    colours.set([colour.r, colour.g, colour.b], i * 3);
  });
  return colours;
}

export class Viewport {
  constructor(container) {
    this.container = container;
    this.renderer = new THREE.WebGLRenderer({ antialias: true });
    this.renderer.setPixelRatio(window.devicePixelRatio);
    container.prepend(this.renderer.domElement);
    this.scene = new THREE.Scene();
    this.scene.background = new THREE.Color(0x15181c);
    this.camera = new THREE.PerspectiveCamera(45, 1, 0.01, 1000);
    this.camera.position.set(3, 2.5, 3);
    this.controls = new OrbitControls(this.camera, this.renderer.domElement);
    this.controls.addEventListener('change', () => this.draw());
    this.scene.add(new THREE.HemisphereLight(0xdde6ee, 0x3a3328, 1.6));
    const sun = new THREE.DirectionalLight(0xffffff, 1.8);
    sun.position.set(3, 6, 2);
    this.scene.add(sun);
    this.meshes = {};
    new ResizeObserver(() => this.resize()).observe(container);
    this.resize();
  }

  resize() {
    const { clientWidth: width, clientHeight: height } = this.container;
    if (width === 0 || height === 0) return;
    this.renderer.setSize(width, height, false);
    this.camera.aspect = width / height;
    this.camera.updateProjectionMatrix();
    this.draw();
  }

  draw() {
    this.renderer.render(this.scene, this.camera);
  }

  replace(name, object) {
    const old = this.meshes[name];
    if (old) {
      this.scene.remove(old);
      old.geometry.dispose();
      old.material.dispose();
    }
    this.meshes[name] = object;
    if (object) this.scene.add(object);
    this.draw();
  }

  setSurface(mesh) {
    const material = new THREE.MeshStandardMaterial({ color: 0x7d8a6a, roughness: 0.95, side: THREE.DoubleSide,
      flatShading: true });
    this.replace('surface', new THREE.Mesh(geometryOf(mesh), material));
    this.frame();
  }

  setObjects(mesh) {
    const material = new THREE.MeshStandardMaterial({ color: 0xd08a4a, roughness: 0.7, transparent: true,
      opacity: 0.55, side: THREE.DoubleSide });
    this.replace('objects', new THREE.Mesh(geometryOf(mesh), material));
  }

  showObjects(shown) {
    if (this.meshes.objects) this.meshes.objects.visible = shown;
    this.draw();
  }

  // Clones coloured by their values; null removes them.
  setClones(mesh) {
    if (!mesh || mesh.triangles === 0) {
      this.replace('clones', null);
      return;
    }
    const geometry = geometryOf(mesh);
    geometry.setAttribute('color', new THREE.BufferAttribute(rampColours(mesh.values), 3));
    const material = new THREE.MeshStandardMaterial({ vertexColors: true, roughness: 0.6, side: THREE.DoubleSide,
      flatShading: true });
    this.replace('clones', new THREE.Mesh(geometry, material));
  }

  // Looks at the surface from above and aside, all of it in view.
  frame() {
    const sphere = this.meshes.surface?.geometry.boundingSphere;
    if (!sphere || sphere.radius === 0) return;
    const distance = sphere.radius * 2.3;
    this.controls.target.copy(sphere.center);
    this.camera.position.copy(sphere.center).add(new THREE.Vector3(0.8, 0.7, 1).normalize().multiplyScalar(distance));
    this.camera.near = distance / 1000;
    this.camera.far = distance * 20;
    this.camera.updateProjectionMatrix();
    this.controls.update();
    this.draw();
  }
}
