#!/usr/bin/env python3
"""Checks every JSON example of docs/json.md, and what vestor-pick --json
really prints for a few command lines, against docs/json.schema.json."""
import json
import re
import subprocess
import sys

import jsonschema

schema_path, doc_path, pick = sys.argv[1:4]
with open(schema_path, encoding="utf-8") as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
failures = []


def check(what, document):
    for error in validator.iter_errors(document):
        failures.append(f"{what}: {'/'.join(map(str, error.absolute_path))}: {error.message}")


with open(doc_path, encoding="utf-8") as f:
    examples = re.findall(r"^```json\n(.*?)^```", f.read(), re.S | re.M)
if len(examples) < 2:
    failures.append(f"{doc_path} documents {len(examples)} JSON examples; the pick and --best each need one")
for n, text in enumerate(examples, 1):
    try:
        check(f"{doc_path} example {n}", json.loads(text))
    except json.JSONDecodeError as e:
        failures.append(f"{doc_path} example {n} is not JSON: {e}")

runs = [
    ["--json"],
    ["--money", "100.1", "--need", "Sila=30", "--json"],
    ["--race", "Гном", "--level", "5", "--money", "3000", "--have", "Sila=5", "--need", "Ob_Uv_p=-5", "--json"],
    ["--best", "--money", "2000", "--need", "Sila=20", "--need", "Ob_Uv=40", "--greedy", "--json"],
    ["--best", "--money", "50", "--need", "Sila=500", "--json"],
]
for args in runs:
    what = "vestor-pick " + " ".join(args)
    run = subprocess.run([pick, *args], capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        failures.append(f"{what}: status {run.returncode}: {run.stderr}")
        continue
    out = json.loads(run.stdout)
    check(what, out)
    if "results" in out:
        # The numbers and the texts are the same results; every short need is listed.
        for stat, text in out["results"].items():
            if float(text) != out["yields"][stat]:
                failures.append(f"{what}: yields.{stat} {out['yields'][stat]} but results.{stat} '{text}'")
        for stat, u in out["unmet"].items():
            if abs(abs(u["needed"] - u["yield"]) - u["short"]) > 1e-9:
                failures.append(f"{what}: unmet.{stat} {u} does not add up")
        if round(out["money"] + out["total"], 2) != round(float(args[args.index("--money") + 1]) if "--money" in args else 0, 2):
            failures.append(f"{what}: money {out['money']} and total {out['total']} do not add up")
    for value in (out.get("money"), out.get("total"), out.get("moneyNeeded")):
        if value is not None and round(value, 2) != value:
            failures.append(f"{what}: {value} is not rounded to cents")

for f in failures:
    print("FAIL:", f)
print(f"json: {len(examples)} documented examples and {len(runs)} runs checked, {len(failures)} failures")
sys.exit(1 if failures else 0)
