"""What a line's tools would make of the bridge's payloads: each checked with
jsonschema against its topic's schema in the bridge's table (topics.json).

  payload_schema_check.py TOPICS_JSON PAYLOADS_JSON

PAYLOADS_JSON maps a topic (under PREFIX/NAME/) to a payload. Prints a JSON
object of the topics whose payload its schema refuses (or that are not in
the table), each with the first violation; {} when all are as the table says.
"""

import json
import sys

import jsonschema


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        table = {row["topic"]: row["schema"] for row in json.load(f)}
    with open(sys.argv[2], encoding="utf-8") as f:
        payloads = json.load(f)
    wrong = {}
    for topic, payload in payloads.items():
        if topic not in table:
            wrong[topic] = "not in the bridge's topic table"
            continue
        try:
            jsonschema.validate(payload, table[topic], cls=jsonschema.Draft202012Validator)
        except jsonschema.ValidationError as e:
            wrong[topic] = e.message
    print(json.dumps(wrong))


if __name__ == "__main__":
    main()
