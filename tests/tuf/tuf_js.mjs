// A repository of The Update Framework written by an independent implementation (@tufjs/models)
// and read by one (tuf-js), for the update client's test and benchmark.
//   node tuf_js.mjs write OUT FOLDER
//       every file below FOLDER becomes a target; writes OUT/metadata (consistent snapshots,
//       ed25519 keys, root version 2 signed by the old and the new root key) and OUT/targets
//   node tuf_js.mjs fetch METADATA_URL TARGETS_URL ROOT WORK PATH...
//       tuf-js refreshes from ROOT (trusted) and downloads each PATH to WORK/targets/PATH
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { Key, Metadata, MetaFile, Root, Signature, Snapshot, TargetFile, Targets, Timestamp }
  from '@tufjs/models';
import { Updater } from 'tuf-js';

const expires = new Date(Date.now() + 30 * 86400e3).toISOString().replace(/\.\d+Z$/, 'Z');

// Canonical JSON of a key's fields (plain strings only), whose SHA-256 is the key's id.
function canonical(value) {
  if (typeof value !== 'object') return JSON.stringify(value);
  return '{' + Object.keys(value).sort().map((k) => `${JSON.stringify(k)}:${canonical(value[k])}`)
    .join(',') + '}';
}

function newKey() {
  const { publicKey, privateKey } = crypto.generateKeyPairSync('ed25519');
  const raw = publicKey.export({ format: 'der', type: 'spki' }).subarray(-32).toString('hex');
  const fields = { keytype: 'ed25519', scheme: 'ed25519', keyval: { public: raw } };
  const keyID = crypto.createHash('sha256').update(canonical(fields)).digest('hex');
  const key = new Key({ keyID, keyType: 'ed25519', scheme: 'ed25519', keyVal: fields.keyval });
  const sign = (data) => new Signature({ keyID, sig: crypto.sign(null, data, privateKey).toString('hex') });
  return { key, sign };
}

function written(file, metadata, ...signers) {
  for (const s of signers) metadata.sign(s.sign, true);
  const bytes = Buffer.from(JSON.stringify(metadata.toJSON(), null, 2));
  fs.writeFileSync(file, bytes);
  return new MetaFile({
    version: metadata.signed.version, length: bytes.length,
    hashes: { sha256: crypto.createHash('sha256').update(bytes).digest('hex') },
  });
}

function filesBelow(folder, prefix = '') {
  return fs.readdirSync(folder, { withFileTypes: true }).flatMap((e) => e.isDirectory()
    ? filesBelow(path.join(folder, e.name), `${prefix}${e.name}/`) : [`${prefix}${e.name}`]);
}

function write(out, folder) {
  const meta = path.join(out, 'metadata');
  fs.mkdirSync(meta, { recursive: true });
  const [root1, root2, targetsKey, snapshotKey, timestampKey] = [1, 2, 3, 4, 5].map(newKey);
  const targets = new Targets({ version: 1, specVersion: '1.0.31', expires });
  for (const name of filesBelow(folder)) {
    const bytes = fs.readFileSync(path.join(folder, name));
    const sha256 = crypto.createHash('sha256').update(bytes).digest('hex');
    targets.addTarget(new TargetFile({ path: name, length: bytes.length, hashes: { sha256 } }));
    const served = path.join(out, 'targets', path.dirname(name), `${sha256}.${path.basename(name)}`);
    fs.mkdirSync(path.dirname(served), { recursive: true });
    fs.linkSync(path.join(folder, name), served);
  }
  const roots = [root1, root2].map((rootKey, i) => {
    const root = new Root({ version: i + 1, specVersion: '1.0.31', expires, consistentSnapshot: true });
    root.addKey(rootKey.key, 'root');
    root.addKey(targetsKey.key, 'targets');
    root.addKey(snapshotKey.key, 'snapshot');
    root.addKey(timestampKey.key, 'timestamp');
    return new Metadata(root);
  });
  written(path.join(meta, '1.root.json'), roots[0], root1);
  written(path.join(meta, '2.root.json'), roots[1], root1, root2);
  const targetsMeta = written(path.join(meta, '1.targets.json'), new Metadata(targets), targetsKey);
  const snapshot = new Snapshot({ version: 1, specVersion: '1.0.31', expires,
    meta: { 'targets.json': targetsMeta } });
  const snapshotMeta = written(path.join(meta, '1.snapshot.json'), new Metadata(snapshot), snapshotKey);
  const timestamp = new Timestamp({ version: 1, specVersion: '1.0.31', expires, snapshotMeta });
  written(path.join(meta, 'timestamp.json'), new Metadata(timestamp), timestampKey);
}

async function fetchTargets(metadataBaseUrl, targetBaseUrl, root, work, paths) {
  const metadataDir = path.join(work, 'metadata');
  fs.mkdirSync(metadataDir, { recursive: true });
  fs.copyFileSync(root, path.join(metadataDir, 'root.json'));
  const updater = new Updater({ metadataDir, metadataBaseUrl, targetBaseUrl,
    targetDir: path.join(work, 'targets') });
  await updater.refresh();
  for (const p of paths) {
    const info = await updater.getTargetInfo(p);
    if (!info) throw new Error(`no target ${p}`);
    const file = path.join(work, 'targets', p);
    fs.mkdirSync(path.dirname(file), { recursive: true });
    await updater.downloadTarget(info, file);
  }
}

const [command, ...args] = process.argv.slice(2);
if (command === 'write') write(args[0], args[1]);
else if (command === 'fetch') await fetchTargets(args[0], args[1], args[2], args[3], args.slice(4));
else { console.error('usage: tuf_js.mjs write OUT FOLDER | fetch MURL TURL ROOT WORK PATH...'); process.exit(2); }
