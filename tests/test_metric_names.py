#!/usr/bin/python3
"""The shipped alert rules and Grafana dashboard ask only for what the station exports: every
PromQL query in them (the rules' expressions and the element lookups of their texts, the
dashboard's panels and variables) names only metric families of the station's list, each
selector only labels of its family, and every legend only labels the list knows; the
dashboard is valid JSON and its queries parse (promtool check rules, where installed).
  tests/test_metric_names.py <metrics.txt> <alert rules.yml> <dashboard.json>
Exits 77 (skipped) where python3-yaml is missing."""

import json
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import yaml
except ImportError:
    print("SKIP: python3-yaml is missing (tools/ensure-deps.sh installs it)")
    sys.exit(77)

# Labels Prometheus adds to every series of a scrape.
SCRAPE_LABELS = {"job", "instance"}
KEYWORDS = {"and", "or", "unless", "by", "without", "on", "ignoring", "group_left",
            "group_right", "bool", "offset", "atan2", "inf", "nan"}
STRING = r'"(?:[^"\\]|\\.)*"|\'(?:[^\'\\]|\\.)*\'|`[^`]*`'
GROUPING = r"\b(?:by|without|on|ignoring|group_left|group_right)\s*\(([^)]*)\)"

metrics = {}
for line in open(sys.argv[1]):
    if line.strip() and not line.startswith("#"):
        name, *labels = line.split()
        metrics[name] = set(labels) | SCRAPE_LABELS
all_labels = set().union(*metrics.values())
problems = []


def check_query(where, expr):
    expr = re.sub(STRING, '""', expr)
    for name, matchers in re.findall(r"([A-Za-z_:][\w:]*)?\s*\{([^}]*)\}", expr):
        known = metrics.get(name, all_labels)
        for label in re.findall(r"([A-Za-z_]\w*)\s*(?:=~|!~|!=|=)", matchers):
            if label not in known:
                problems.append(f"{where}: label {label} of {name or 'a selector'}: {expr}")
    for labels in re.findall(GROUPING, expr):
        for label in filter(None, (l.strip() for l in labels.split(","))):
            if label not in all_labels:
                problems.append(f"{where}: grouping by unknown label {label}: {expr}")
    bare = re.sub(GROUPING, " ", re.sub(r"\{[^}]*\}|\[[^\]]*\]|\$\{?\w+\}?", " ", expr))
    used = [m.group(1) for m in re.finditer(r"(?<![\w.$])([A-Za-z_:][\w:]*)(\s*\()?", bare)
            if not m.group(2) and m.group(1).lower() not in KEYWORDS]
    if not used:
        problems.append(f"{where}: names no metric: {expr}")
    for name in used:
        if name not in metrics:
            problems.append(f"{where}: {name} is not a metric the station exports: {expr}")


# --- The alert rules -------------------------------------------------------------------------
queries = 0
for group in yaml.safe_load(open(sys.argv[2]))["groups"]:
    for rule in group["rules"]:
        name = rule.get("alert") or rule.get("record")
        check_query(name, rule["expr"])
        queries += 1
        for key, text in rule.get("annotations", {}).items():
            for lookup in re.findall(r'printf "((?:[^"\\]|\\.)*)"[^|}]*\| query', text):
                check_query(f"{name} {key}", lookup.replace("%q", '"x"'))
                queries += 1

# --- The dashboard ---------------------------------------------------------------------------
try:
    dashboard = json.load(open(sys.argv[3]))
except ValueError as error:
    print(f"FAIL: {sys.argv[3]} is not valid JSON: {error}")
    sys.exit(1)

# Grafana's own variables, replaced for promtool by values of their kind.
GRAFANA_VALUES = {"$__rate_interval": "1m", "$__interval": "1m", "$__range": "1h",
                  "$instance": ".+", "${instance}": ".+"}
panel_exprs = []


def walk(node, where):
    if isinstance(node, dict):
        where = node.get("title") or node.get("name") or where
        if isinstance(node.get("expr"), str):
            check_query(where, node["expr"])
            panel_exprs.append(node["expr"])
        for legend in re.findall(r"\{\{\s*(\w+)\s*\}\}", node.get("legendFormat", "")):
            if legend not in all_labels:
                problems.append(f"{where}: legend names unknown label {legend}")
        for child in node.values():
            walk(child, where)
    elif isinstance(node, list):
        for child in node:
            walk(child, where)


walk(dashboard.get("panels", []), "dashboard")
for variable in dashboard.get("templating", {}).get("list", []):
    if variable.get("type") != "query":
        continue
    query = variable.get("query")
    # Grafana runs the query; its editor shows the definition.
    for query in (query.get("query", "") if isinstance(query, dict) else query or "",
                  variable.get("definition", "")):
        values = re.fullmatch(r"\s*label_values\(\s*(?:(.*),)?\s*(\w+)\s*\)\s*", query)
        if values:
            if values.group(1):
                check_query(f"variable {variable['name']}", values.group(1))
            if values.group(2) not in all_labels:
                problems.append(f"variable {variable['name']}: unknown label {values.group(2)}")
        elif query:
            check_query(f"variable {variable['name']}", query)
queries += len(panel_exprs)

promtool = shutil.which("promtool")
if promtool and panel_exprs:
    with tempfile.NamedTemporaryFile("w", suffix=".yml") as rules:
        records = []
        for number, expr in enumerate(panel_exprs):
            for variable, value in GRAFANA_VALUES.items():
                expr = expr.replace(variable, value)
            records.append({"record": f"dashboard_query_{number}", "expr": expr})
        yaml.safe_dump({"groups": [{"name": "dashboard", "rules": records}]}, rules)
        rules.flush()
        checked = subprocess.run([promtool, "check", "rules", rules.name],
                                 capture_output=True, text=True)
        if checked.returncode != 0:
            problems.append(f"a dashboard query does not parse:\n{checked.stdout}{checked.stderr}")
elif not promtool:
    print("promtool is missing: the dashboard's queries are not parsed")

for problem in problems:
    print(f"FAIL: {problem}")
if problems:
    sys.exit(1)
print(f"PASS: {queries} queries name only the {len(metrics)} exported metric families")
