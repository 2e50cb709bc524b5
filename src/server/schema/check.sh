#!/usr/bin/env bash
# Checks the server's schema, provider catalogue and seed data against each other:
#   - the numbered schema scripts load in order into a fresh in-memory database;
#   - every seed CSV imports into its table (sqlite3 .import, empty cells as NULL), then
#     PRAGMA foreign_key_check and integrity_check find nothing;
#   - every template folder loads into a fresh database the way the template load writes it,
#     and its accounts, types and report items hang together;
#   - providers.json names existing sources, update tables and key columns;
#   - cell values fit their declared types and GBK sizes.
# Prints every problem found and exits non-zero when there is any.
set -euo pipefail
command -v sqlite3 >/dev/null || { echo "check.sh: sqlite3 is not installed" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exec python3 - "$here" <<'PYEOF'
import csv, json, os, re, sqlite3, subprocess, sys

SCHEMA_DIR = sys.argv[1]
SERVER = os.path.dirname(SCHEMA_DIR)
SQLS = sorted(os.path.join(SCHEMA_DIR, f) for f in os.listdir(SCHEMA_DIR)
              if re.match(r"\d{3}_.*\.sql$", f))
CATALOG = os.path.join(SCHEMA_DIR, "providers.json")
SEED = os.path.join(SERVER, "seed")
TEMPLATES = os.path.join(SEED, "templates")

problems = []
def problem(msg):
    problems.append(msg)
    print("PROBLEM:", msg)

# Which table a template payload field loads into.
PAYLOAD_TABLE = {"AcctXMLData": "T0102010", "AcctTypeXMLData": "T0102011",
                 "T0200096": "T0200096", "T0200097": "T0200097", "T0200098": "T0200098",
                 "T0200099": "T0200099", "T0102053": "T0102053", "T0102055": "T0102055"}
# Providers the client reads or writes.
REQUIRED_PROVIDERS = """SYS_SMModuleTree SYS_SMModules SYS_SMFaceControl SYS_SMPMDefine
SYS_SMAcctTemp SYS_SMAcctTempData ENV_EnvDataObject LX_SysUser LX_SysCheckRight LX_SysInitInfo
LX_InitShowValue LX_InitSalValue LX_InitPurValue LX_InitPartValue LX_BMListPartAcctConfig
LX_DMAddress LX_DMCurrency LX_DMDocNum LX_DMObjType LX_DMDocType LX_BMListNumCa
LX_BMListProperty LX_FINPostingPeriods LX_FINDocVoucherPost LX_DMAccounting LX_BMListAccounting
LX_DMAccttype LX_FINGLReportTemplet LX_FINGLReportTempletItem LX_FINGLReportTempletForAcctDef
LX_FINGLReportTempletForSUM LX_FINBaseACheckLevels LX_FINBaseACheckItem
LX_DMGLAccountingConfigure LX_DMMaterielPropValue LX_DMAccessories""".split()
TYPE_RE = re.compile(r"^(VARCHAR\((\d+)\)|CHAR\((\d+)\)|TEXT|SMALLINT|INTEGER|WORD|BIGINT|BOOLEAN|"
                     r"FLOAT|MONEY|DECIMAL\(\d+,\d+\)|DATE|TIME|DATETIME|BLOB)$")

def q(name):
    return '"' + name.replace('"', '""') + '"'

def sql_text(s):
    return "'" + s.replace("'", "''") + "'"

READ_SCHEMA = "".join(f".read {sql_text(sql)}\n" for sql in SQLS)

def read_csv(path):
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    if not rows:
        problem(f"{path}: no header row")
        return [], []
    return rows[0], rows[1:]

def run_cli(script, label):
    """Runs a script in a fresh in-memory sqlite3; returns stdout lines."""
    p = subprocess.run(["sqlite3", ":memory:"], input=script, capture_output=True, text=True)
    if p.returncode != 0 or p.stderr.strip():
        problem(f"{label}: sqlite3 failed ({p.returncode}): {p.stderr.strip()}")
    lines = [l for l in p.stdout.splitlines() if l.strip()]
    for l in lines:
        if l.startswith("PROBLEM|"):
            problem(f"{label}: {l[8:]}")
    return lines

def import_script(path, table, header):
    """CLI lines that import a CSV by its header names, empty cells becoming NULL."""
    cols = ", ".join(q(c) for c in header)
    vals = ", ".join(f"NULLIF({q(c)}, '')" for c in header)
    return (f".import --csv {sql_text(path)} _stage\n"
            f"INSERT INTO {q(table)} ({cols}) SELECT {vals} FROM _stage;\n"
            f"DROP TABLE _stage;\n")

CHECK_TAIL = """
SELECT 'PROBLEM|foreign key ' || "table" || ' rowid ' || rowid || ' -> ' || parent
  FROM pragma_foreign_key_check;
SELECT 'PROBLEM|integrity ' || integrity_check FROM pragma_integrity_check
 WHERE integrity_check <> 'ok';
"""

# ------------------------------------------------------------------ schema (Python view)
db = sqlite3.connect(":memory:")
for sql in SQLS:
    try:
        db.executescript(open(sql, encoding="utf-8").read())
    except sqlite3.Error as e:
        problem(f"{os.path.basename(sql)} does not load: {e}")
        sys.exit(1)
objects = {r[0]: r[1] for r in db.execute(
    "SELECT name, type FROM sqlite_master WHERE type IN ('table', 'view')")}
def columns(name):
    return [(r[1], r[2]) for r in db.execute(f"PRAGMA table_info({q(name)})")]
coltypes = {}
for name in objects:
    coltypes[name] = {}
    for col, decl in columns(name):
        coltypes[name][col] = decl
        if not TYPE_RE.match(decl or ""):
            problem(f"{objects[name]} {name}.{col}: declared type '{decl}' is not one of the server's types")

def pk_columns(table):
    return {r[1] for r in db.execute(f"PRAGMA table_info({q(table)})") if r[5] > 0}
def unique_sets(table):
    sets = [pk_columns(table)]
    for idx in db.execute(f"PRAGMA index_list({q(table)})"):
        if idx[2]:
            sets.append({r[2] for r in db.execute(f"PRAGMA index_info({q(idx[1])})")})
    return sets

# ------------------------------------------------------------------ cell values
def gbk_len(s):
    return sum(1 if ord(ch) < 128 else 2 for ch in s)
def check_cell(where, decl, value):
    if value == "":
        return
    if decl.startswith(("VARCHAR", "CHAR")):
        n = int(re.search(r"\((\d+)\)", decl).group(1))
        try:
            value.encode("gbk")
        except UnicodeEncodeError:
            problem(f"{where}: '{value}' has characters outside GBK")
        if gbk_len(value) > n:
            problem(f"{where}: '{value}' is {gbk_len(value)} GBK bytes, the column holds {n}")
    elif decl in ("INTEGER", "SMALLINT", "WORD", "BIGINT"):
        if not re.fullmatch(r"-?\d+", value):
            problem(f"{where}: '{value}' is not an integer")
    elif decl == "BOOLEAN":
        if value not in ("0", "1"):
            problem(f"{where}: '{value}' is not a boolean 0/1")
    elif decl in ("FLOAT", "MONEY") or decl.startswith("DECIMAL"):
        try:
            float(value)
        except ValueError:
            problem(f"{where}: '{value}' is not a number")
    elif decl == "DATE":
        if not re.fullmatch(r"\d{4}-\d\d-\d\d", value):
            problem(f"{where}: '{value}' is not yyyy-MM-dd")
    elif decl == "DATETIME":
        if not re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d(\.\d{3})?", value):
            problem(f"{where}: '{value}' is not yyyy-MM-dd HH:mm:ss.zzz")

def check_csv(path, table):
    header, rows = read_csv(path)
    rel = os.path.relpath(path, SERVER)
    if table not in coltypes or objects.get(table) != "table":
        problem(f"{rel}: no table {table} in the schema")
        return None, []
    if len(set(header)) != len(header):
        problem(f"{rel}: a column appears twice in the header")
    for c in header:
        if c not in coltypes[table]:
            problem(f"{rel}: column {c} is not a column of {table}")
    for i, row in enumerate(rows, 2):
        if len(row) != len(header):
            problem(f"{rel} line {i}: {len(row)} cells for {len(header)} columns")
            continue
        for c, v in zip(header, row):
            if c in coltypes[table]:
                check_cell(f"{rel} line {i} {c}", coltypes[table][c], v)
    return header, rows

# ------------------------------------------------------------------ base seed: CLI import
seed_files = sorted(f for f in os.listdir(SEED) if f.endswith(".csv"))
script = ".bail on\n" + READ_SCHEMA
base = {}
for f in seed_files:
    table = f[:-4]
    header, rows = check_csv(os.path.join(SEED, f), table)
    if header is None:
        continue
    base[table] = [dict(zip(header, r)) for r in rows]
    script += import_script(os.path.join(SEED, f), table, header)
# The demo adds its users and their console nodes to the same tables.
DEMO = os.path.join(SEED, "demo")
for f in sorted(f for f in os.listdir(DEMO) if f.endswith(".csv")):
    table = f[:-4]
    header, rows = check_csv(os.path.join(DEMO, f), table)
    if header is None:
        continue
    base.setdefault(table, []).extend(dict(zip(header, r)) for r in rows)
    script += import_script(os.path.join(DEMO, f), table, header)
script += "PRAGMA foreign_keys = ON;\n" + CHECK_TAIL
# The seed must satisfy the rules the client and the console rely on.
script += """
SELECT 'PROBLEM|fixed console folder missing: ' || id FROM (
  SELECT '{5C30F43F-10B2-404F-AAC3-2974162C0FB1}' AS id UNION ALL
  SELECT '{E9E9AEA1-3BE0-48E2-B653-438D89803FF7}') WHERE id NOT IN (SELECT NodeID FROM SMModuleTree);
SELECT 'PROBLEM|node ' || t.NodeDesc || ' names unknown module ' || t.MCode
  FROM SMModuleTree t WHERE t.MCode IS NOT NULL AND t.MCode NOT IN (SELECT MCode FROM SMModules);
SELECT 'PROBLEM|node ' || t.NodeDesc || ' does not carry its module''s columns'
  FROM SMModuleTree t JOIN SMModules m ON m.MCode = t.MCode
 WHERE t.UICommand IS NOT m.UICommand OR t.ObjType IS NOT m.ObjType OR t.DType IS NOT m.DType
    OR t.PackNo IS NOT m.PackNo OR t.CommandData IS NOT m.CommandData OR t.InnerUse IS NOT m.InnerUse;
SELECT 'PROBLEM|node ' || NodeDesc || ' belongs to unknown user ' || UserID
  FROM SMModuleTree WHERE UserID IS NOT NULL AND UserID NOT IN (SELECT UserID FROM SysUser);
SELECT 'PROBLEM|siblings under ' || IFNULL(ParentID, 'root') || ' are not numbered 1..n'
  FROM SMModuleTree GROUP BY ParentID, UserID
HAVING MIN(Sort) <> 1 OR MAX(Sort) <> COUNT(*) OR COUNT(DISTINCT Sort) <> COUNT(*);
SELECT 'PROBLEM|module code ' || MCode || ' is not upper case or longer than 8'
  FROM SMModules WHERE MCode <> UPPER(MCode) OR LENGTH(MCode) > 8;
SELECT 'PROBLEM|module ' || MCode || ' has an unknown package tag ' || PackNo
  FROM SMModules WHERE PackNo IS NOT NULL AND REPLACE(REPLACE(REPLACE(PackNo, '[B]', ''), '[I]', ''), '[C]', '') <> '';
SELECT 'PROBLEM|page rights refuse object type ' || ObjType || ' of ' || MCode
  FROM SMModules WHERE ObjType > 25000;
SELECT 'PROBLEM|no manager user' WHERE NOT EXISTS (SELECT 1 FROM SysUser WHERE Manager = 1);
SELECT 'PROBLEM|group ' || g.UserGroup || ' of a manager lacks full right on ' || o.ObjType
  FROM (SELECT DISTINCT UserGroup FROM SysUser WHERE Manager = 1) g,
       (SELECT ObjType FROM SMModules WHERE ObjType > 0 UNION SELECT ObjType FROM SMPMDefine
        UNION SELECT ObjType FROM DMObjType UNION SELECT 1001 UNION SELECT 1002
        UNION SELECT 1005 UNION SELECT 1006 UNION SELECT 2002) o
 WHERE NOT EXISTS (SELECT 1 FROM SysCheckRight r WHERE r.UserGroup = g.UserGroup
                   AND r.ObjType = o.ObjType AND r.RightValue = 1);
SELECT 'PROBLEM|right value ' || RightValue || ' is not 1, 2 or 3' FROM SysCheckRight
 WHERE RightValue NOT IN (1, 2, 3);
SELECT 'PROBLEM|a user carries a password hash in the seed' FROM SysUser WHERE PasswordHash IS NOT NULL;
SELECT 'PROBLEM|object menu entry ' || PMCode || ' names unknown module ' || MCode
  FROM SMPMDefine WHERE MCode NOT IN (SELECT MCode FROM SMModules);
SELECT 'PROBLEM|document type query of the inventory page finds nothing'
 WHERE NOT EXISTS (SELECT 1 FROM DMObjType WHERE QtyCalTag = 1);
SELECT 'PROBLEM|voucher-word query finds nothing'
 WHERE NOT EXISTS (SELECT 1 FROM DMObjType WHERE InTag = 0 AND AutoAcctTag = 1);
SELECT 'PROBLEM|document type ' || ObjType || ' posts with unknown voucher word ' || AcctNumCa
  FROM DMObjType WHERE AcctNumCa IS NOT NULL
   AND AcctNumCa NOT IN (SELECT NumCa FROM BMListNumCa WHERE ObjType = 2101);
SELECT 'PROBLEM|no voucher words for 2101' WHERE NOT EXISTS (SELECT 1 FROM DMDocNum WHERE ObjType = 2101);
SELECT 'PROBLEM|no document kinds for ' || o FROM (SELECT 3511 AS o UNION ALL SELECT 3521)
 WHERE o NOT IN (SELECT ObjType FROM DMDocType);
SELECT 'PROBLEM|no warehouse costing methods'
 WHERE NOT EXISTS (SELECT 1 FROM BMListProperty WHERE PropType = 'WHCoCase');
SELECT 'PROBLEM|account set seed must not hold an information record' FROM SysInitInfo;
SELECT 'PROBLEM|base currency RMB missing' WHERE NOT EXISTS (SELECT 1 FROM DMCurrency WHERE CurrCode = 'RMB');
"""
run_cli(script, "seed")

# ------------------------------------------------------------------ providers.json
try:
    catalog = json.load(open(CATALOG, encoding="utf-8"))
except (OSError, ValueError) as e:
    problem(f"providers.json: {e}")
    catalog = {"providers": []}
if catalog.get("version") != 1:
    problem("providers.json: version is not 1")
names = [p.get("name") for p in catalog["providers"]]
for n in set(names):
    if names.count(n) > 1:
        problem(f"providers.json: {n} appears {names.count(n)} times")
for n in REQUIRED_PROVIDERS:
    if n not in names:
        problem(f"providers.json: provider {n} missing")
provider_source = {}
for p in catalog["providers"]:
    n, src, upd, key = p.get("name"), p.get("source"), p.get("update"), p.get("key")
    if not {"name", "source", "update", "key"} <= set(p) <= {"name", "source", "update", "key", "since"}:
        problem(f"provider {n}: entries are name, source, update, key and since (optional)")
    if src not in objects:
        problem(f"provider {n}: source {src} is not in the schema")
        continue
    provider_source[n] = src
    if not key:
        problem(f"provider {n}: no key")
        continue
    for k in key:
        if k not in coltypes[src]:
            problem(f"provider {n}: key column {k} is not a column of {src}")
    if upd is None:
        continue
    if objects.get(upd) != "table":
        problem(f"provider {n}: update table {upd} is not a table")
        continue
    for k in key:
        if k not in coltypes[upd]:
            problem(f"provider {n}: key column {k} is not a column of {upd}")
    if set(key) not in unique_sets(upd):
        problem(f"provider {n}: key {key} is not a unique key of {upd}")
    if src != upd:
        for c in coltypes[src]:
            if c not in coltypes[upd]:
                problem(f"provider {n}: column {c} of {src} cannot be written to {upd}")

# Column layouts must name providers and their columns.
for r in base.get("EnvDataObject", []):
    src = provider_source.get(r["DataObject"])
    if src is None:
        problem(f"EnvDataObject: {r['DataObject']} is not a provider")
    elif r["ColumnName"] not in coltypes[src]:
        problem(f"EnvDataObject: {r['DataObject']} has no column {r['ColumnName']}")

# ------------------------------------------------------------------ templates
temp_codes = {r["AcctTempCode"] for r in base.get("SMAcctTemp", [])}
counts = {}
if os.path.isdir(TEMPLATES):
    for code in sorted(os.listdir(TEMPLATES)):
        folder = os.path.join(TEMPLATES, code)
        if code not in temp_codes:
            problem(f"templates/{code}: no SMAcctTemp row {code}")
        script = ".bail on\n" + READ_SCHEMA + "PRAGMA foreign_keys = ON;\n"
        files = sorted(f for f in os.listdir(folder) if f.endswith(".csv"))
        # the load order of the configuration save
        order = ["AcctXMLData", "AcctTypeXMLData", "T0200096", "T0200097", "T0200098",
                 "T0200099", "T0102053", "T0102055"]
        for f in sorted(files, key=lambda f: order.index(f[:-4]) if f[:-4] in order else 99):
            field = f[:-4]
            table = PAYLOAD_TABLE.get(field)
            if table is None:
                problem(f"templates/{code}/{f}: {field} is not a field of SMAcctTempData")
                continue
            header, rows = check_csv(os.path.join(folder, f), table)
            if header is None:
                continue
            counts[f"{code}/{field}"] = len(rows)
            script += import_script(os.path.join(folder, f), table, header)
        script += """
UPDATE T0200098 SET AcctID = NULL WHERE ItemAcctCode NOT IN (SELECT AcctCode FROM T0102010);
UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 WHERE T0200098.ItemAcctCode = T0102010.AcctCode ;
""" + CHECK_TAIL + """
SELECT 'PROBLEM|report item ' || ItemID || ' of report ' || TempletID || ' names unknown account ' || ItemAcctCode
  FROM T0200098 WHERE AcctID IS NULL;
SELECT 'PROBLEM|report item ' || TempletID || '/' || ItemID || ' has a bad operator or fetch type'
  FROM T0200098 WHERE Operator NOT IN ('+', '-') OR FetchType NOT IN ('QM', 'JQM', 'DQM', 'SY');
SELECT 'PROBLEM|sum line ' || TempletID || '/' || ItemID || ' has a bad operator'
  FROM T0200099 WHERE Operator NOT IN ('+', '-');
SELECT 'PROBLEM|line ' || TempletID || '/' || ItemID || ' of type ' || ItemType || ' has no terms'
  FROM T0200097 i WHERE (ItemType = 1 AND NOT EXISTS (SELECT 1 FROM T0200098 d
        WHERE d.TempletID = i.TempletID AND d.ItemID = i.ItemID))
     OR (ItemType = 2 AND NOT EXISTS (SELECT 1 FROM T0200099 s
        WHERE s.TempletID = i.TempletID AND s.ItemID = i.ItemID));
SELECT 'PROBLEM|account ' || a.AcctCode || ' is not under its code prefix'
  FROM T0102010 a LEFT JOIN T0102010 p ON p.AcctID = a.ParentID
 WHERE (a.ParentID IS NULL AND a.Levels <> 1)
    OR (a.ParentID IS NOT NULL AND (a.Levels <> p.Levels + 1
        OR SUBSTR(a.AcctCode, 1, LENGTH(p.AcctCode)) <> p.AcctCode));
SELECT 'PROBLEM|account ' || a.AcctCode || ' has IsNode ' || a.IsNode || ' against its children'
  FROM T0102010 a WHERE a.IsNode <> (NOT EXISTS (SELECT 1 FROM T0102010 c WHERE c.ParentID = a.AcctID));
SELECT 'PROBLEM|account ' || a.AcctCode || ' has type ' || a.AcctType || '/' || IFNULL(a.AcctTypeCode, '')
       || ' not in the account types'
  FROM T0102010 a WHERE NOT EXISTS (SELECT 1 FROM T0102011 t
        WHERE CAST(t.AcctType AS TEXT) = a.AcctType AND t.AcctTypeCode IS a.AcctTypeCode);
SELECT 'PROBLEM|account ' || AcctCode || ' has balance side ' || IFNULL(DC, 'NULL')
  FROM T0102010 WHERE DC IS NULL OR DC NOT IN ('D', 'C');
SELECT 'PROBLEM|account ' || AcctCode || ' has no full name in the list view'
  FROM BMListAccounting WHERE FullName IS NULL
     OR (ParentID IS NULL AND FullName <> AcctName) OR FullName NOT LIKE '%' || AcctName;
SELECT 'PROBLEM|account type ' || AcctType || ' has balance side ' || IFNULL(AcctTypeDC, 'NULL')
  FROM T0102011 WHERE AcctTypeDC IS NULL OR AcctTypeDC NOT IN ('D', 'C');
SELECT 'PROBLEM|more than eight account types' WHERE (SELECT COUNT(*) FROM T0102011) > 8;
-- Reloading the report tables the way the load does leaves them consistent.
DELETE FROM T0200096;
SELECT 'PROBLEM|deleting the report templates left dependent rows'
 WHERE EXISTS (SELECT 1 FROM T0200097) OR EXISTS (SELECT 1 FROM T0200098) OR EXISTS (SELECT 1 FROM T0200099);
DELETE FROM T0102010;
SELECT 'PROBLEM|deleting the accounts left full names' WHERE EXISTS (SELECT 1 FROM AcctFullName);
DELETE FROM T0102011;
DELETE FROM T0102057 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0);
DELETE FROM T0102056 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0);
DELETE FROM T0102055 WHERE ACheckID = 0;
DELETE FROM T0102053 WHERE ACheckID = 0;
SELECT 'PROBLEM|foreign key after the load''s deletes: ' || "table" FROM pragma_foreign_key_check;
"""
        run_cli(script, f"templates/{code}")

# ------------------------------------------------------------------ summary
tables = sum(1 for t in objects.values() if t == "table")
views = sum(1 for t in objects.values() if t == "view")
print(f"schema: {tables} tables, {views} views; catalogue: {len(names)} providers")
print("seed rows: " + ", ".join(f"{t} {len(r)}" for t, r in sorted(base.items())))
print("template rows: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
if problems:
    print(f"{len(problems)} problem(s)")
    sys.exit(1)
print("check passed")
PYEOF
