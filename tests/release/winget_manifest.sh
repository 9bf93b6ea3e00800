#!/bin/bash
# The generated package-manager manifest validates against the official schemas and
# names the built installer by its SHA-256, once per scope, each with the switches
# that the scope needs.
#   winget_manifest.sh MANIFEST_DIR INSTALLER SCHEMA_DIR
set -uo pipefail
manifests=${1:?usage: winget_manifest.sh MANIFEST_DIR INSTALLER SCHEMA_DIR}
installer=${2:?}
schemas=${3:?}
/usr/bin/python3 - "$manifests" "$installer" "$schemas" <<'PY'
import glob, hashlib, json, os, sys
import jsonschema, yaml
manifests, installer, schemas = sys.argv[1:4]
kinds = {"version": "manifest.version.1.10.0.json", "installer": "manifest.installer.1.10.0.json",
         "defaultLocale": "manifest.defaultLocale.1.10.0.json"}
failures = 0
seen = set()
for path in sorted(glob.glob(os.path.join(manifests, "*.yaml"))):
    document = yaml.safe_load(open(path, encoding="utf-8"))
    kind = document.get("ManifestType")
    seen.add(kind)
    schema = json.load(open(os.path.join(schemas, kinds[kind]), encoding="utf-8"))
    errors = list(jsonschema.Draft7Validator(schema).iter_errors(document))
    for error in errors:
        print(f"FAIL: {os.path.basename(path)}: {error.message} at {list(error.path)}")
    failures += len(errors)
    if kind == "installer":
        digest = hashlib.sha256(open(installer, "rb").read()).hexdigest().upper()
        scopes = {}
        for entry in document["Installers"]:
            # What winget runs: the installer's own switches over the manifest's.
            switches = {**document.get("InstallerSwitches", {}), **entry.get("InstallerSwitches", {})}
            scopes[entry.get("Scope")] = (switches, entry.get("ElevationRequirement"))
            if entry["InstallerSha256"] != digest:
                print(f"FAIL: InstallerSha256 {entry['InstallerSha256']} is not the installer's {digest}")
                failures += 1
        expected = {
            "machine": ({"Silent": "--quiet", "SilentWithProgress": "--quiet", "Log": '--log "<LOGPATH>"'}, "elevatesSelf"),
            "user": ({"Silent": "--quiet", "SilentWithProgress": "--quiet", "Log": '--log "<LOGPATH>"',
                      "Custom": "--scope user"}, None),
        }
        if scopes != expected:
            print(f"FAIL: installers by scope {scopes}")
            failures += 1
        codes = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in document["ExpectedReturnCodes"]}
        if codes != {1602: "cancelledByUser", 1618: "installInProgress"}:
            print(f"FAIL: return codes {codes}")
            failures += 1
if seen != set(kinds):
    print(f"FAIL: manifest kinds {sorted(seen)}, expected {sorted(kinds)}")
    failures += 1
print(f"{len(seen)} manifests checked, {failures} failures")
sys.exit(1 if failures else 0)
PY
