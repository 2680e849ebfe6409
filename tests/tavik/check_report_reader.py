#!/usr/bin/env python3
"""Reads what tavik check left as a production line's tools read it: the
JSON record against docs/check-record.schema.json (jsonschema), the JUnit
file through xml.etree as a CI server parses it, and each attachment's
SHA-256 against its file. Prints, for each RECORD JUNIT pair, one JSON
object in a list, for the test to compare:

  {"schema": "ok" | the first violation,
   "suite": {"tests", "failures", "errors", "skipped"},
   "properties": {name: value},           # the suite's
   "time": the suite's time attribute,
   "cases": {name: {"result": "pass" | "failure" | "error" | "skipped",
                    "time": the testcase's time attribute,
                    "properties": {name: value}}},
   "attachments": {name: "ok" | why},
   "limits": "ok" | why | null}            # the limits file against its hash

usage: check_report_reader.py SCHEMA RECORD JUNIT [RECORD JUNIT...]
"""
import hashlib
import json
import sys
import xml.etree.ElementTree as ElementTree

import jsonschema


def schema_verdict(schema_path, record):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    try:
        jsonschema.validate(record, schema, cls=jsonschema.Draft202012Validator)
    except jsonschema.ValidationError as e:
        return "%s at %s" % (e.message, "/".join(str(p) for p in e.absolute_path))
    return "ok"


def attachment_verdicts(record):
    verdicts = {}
    for a in record.get("attachments", []):
        try:
            with open(a["file"], "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
        except OSError as e:
            verdicts[a["name"]] = str(e)
            continue
        verdicts[a["name"]] = "ok" if digest == a.get("sha256") else "sha256 %s, file %s" % (a.get("sha256"), digest)
    return verdicts


def limits_verdict(record):
    limits = record.get("limits")
    if limits is None:
        return None
    try:
        with open(limits["file"], "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
    except OSError as e:
        return str(e)
    return "ok" if digest == limits["sha256"] else "sha256 %s, file %s" % (limits["sha256"], digest)


def properties_of(element):
    found = element.find("properties")
    if found is None:
        return {}
    return {p.get("name"): p.get("value") for p in found.iter("property")}


def junit_summary(path):
    suite = ElementTree.parse(path).getroot().find("testsuite")
    cases = {}
    for case in suite.iter("testcase"):
        result = "pass"
        for kind in ("failure", "error", "skipped"):
            if case.find(kind) is not None:
                result = kind
        cases[case.get("name")] = {"result": result, "time": case.get("time"), "properties": properties_of(case)}
    return {
        "suite": {k: int(suite.get(k)) for k in ("tests", "failures", "errors", "skipped")},
        "time": suite.get("time"),
        "properties": properties_of(suite),
        "cases": cases,
    }


def read_pair(schema_path, record_path, junit_path):
    with open(record_path, encoding="utf-8") as f:
        record = json.load(f)
    out = {"schema": schema_verdict(schema_path, record), "attachments": attachment_verdicts(record),
           "limits": limits_verdict(record)}
    out.update(junit_summary(junit_path))
    return out


def main():
    schema, pairs = sys.argv[1], sys.argv[2:]
    print(json.dumps([read_pair(schema, pairs[i], pairs[i + 1]) for i in range(0, len(pairs), 2)]))


if __name__ == "__main__":
    main()
