#!/usr/bin/env python3
"""Writes the PostgreSQL schema files in this folder from the SQLite ones beside it.

    src/server/schema/pg/translate.py        rewrite 00N_*.sql here
    src/server/schema/pg/translate.py --check  fail when a file here is out of date

Names stay unquoted, so PostgreSQL folds them to lower case everywhere, in the schema as in
the server's statements; the dialect gives columns back their letter case from these files.
Declared types that PostgreSQL lacks become domains named vx_<type>, so the declared type
can be read back from the catalogue. Dates and times are stored as text, as in SQLite.
"""
import pathlib
import re
import sys

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parent

PRELUDE = """\
-- Types of the SQLite schema that PostgreSQL lacks, as domains: the catalogue reads the
-- declared type back from the domain's name. BOOLEAN holds 0/1 as in SQLite, so that
-- statements written for both ("Posted = 1") mean the same; dates and times are text in
-- the same canonical form.
CREATE DOMAIN vx_boolean AS SMALLINT;
CREATE DOMAIN vx_word AS INTEGER;
CREATE DOMAIN vx_float AS DOUBLE PRECISION;
CREATE DOMAIN vx_money AS DOUBLE PRECISION;
CREATE DOMAIN vx_date AS TEXT;
CREATE DOMAIN vx_time AS TEXT;
CREATE DOMAIN vx_datetime AS TEXT;
-- COLLATE NOCASE: letter case ignored in comparisons and unique keys.
CREATE COLLATION nocase (provider = icu, locale = 'und-u-ks-level2', deterministic = false);
"""

FULL_NAME_TRIGGER = """\
-- Every lookup below is by key or by parent, both indexed. PostgreSQL keeps the function's
-- plans for the session; made while the table was small they would read it whole, once per
-- inserted row, and a big load would take time growing with the square of its rows.
CREATE FUNCTION T0102010_FullName() RETURNS trigger LANGUAGE plpgsql
SET enable_seqscan = off AS $$
BEGIN
    INSERT INTO AcctFullName (AcctID, FullName)
    SELECT down.id,
           (WITH RECURSIVE up (id, pid, name, depth) AS (
                SELECT a.AcctID, a.ParentID, a.AcctName, 0 FROM T0102010 a WHERE a.AcctID = down.id
                UNION ALL
                SELECT p.AcctID, p.ParentID, p.AcctName, up.depth + 1
                FROM T0102010 p JOIN up ON p.AcctID = up.pid
                WHERE up.depth < 32)
            SELECT string_agg(name, '-' ORDER BY depth DESC) FROM up)
    FROM (WITH RECURSIVE sub (id, depth) AS (
              SELECT NEW.AcctID, 0
              UNION ALL
              SELECT c.AcctID, sub.depth + 1 FROM T0102010 c JOIN sub ON c.ParentID = sub.id
              WHERE sub.depth < 32)
          SELECT id FROM sub) AS down
    ON CONFLICT (AcctID) DO UPDATE SET FullName = excluded.FullName;
    RETURN NULL;
END;
$$;

CREATE TRIGGER T0102010_FullName_Insert AFTER INSERT ON T0102010
FOR EACH ROW EXECUTE FUNCTION T0102010_FullName();

CREATE TRIGGER T0102010_FullName_Update AFTER UPDATE OF AcctID, AcctName, ParentID ON T0102010
FOR EACH ROW EXECUTE FUNCTION T0102010_FullName();
"""

# A file set keeps the attachment files in a folder beside it; a PostgreSQL set keeps them in
# itself, where every server of the set finds them. FileName is the stored name.
ATTACHMENT_FILES = """
------------------------------------------------------------------------------------------
-- PostgreSQL only: the attachment files themselves (a file set keeps them in a folder)
------------------------------------------------------------------------------------------

CREATE TABLE AccessoryFile (
    FileName TEXT        NOT NULL PRIMARY KEY COLLATE nocase,
    FileData BYTEA       NOT NULL
);
"""

TYPES = {
    "BOOLEAN": "vx_boolean",
    "WORD": "vx_word",
    "FLOAT": "vx_float",
    "MONEY": "vx_money",
    "DATETIME": "vx_datetime",
    "DATE": "vx_date",
    "TIME": "vx_time",
    "BLOB": "BYTEA",
}

REFERENCE = re.compile(
    r"(REFERENCES\s+\w+\s*\([^)]*\)(?:\s+ON\s+(?:DELETE|UPDATE)\s+(?:CASCADE|SET NULL|RESTRICT))*)"
    r"(?!\s+(?:DEFERRABLE|ON\b))")


def translate(name, text):
    out = []
    if name.startswith("001"):
        out.append(PRELUDE)
    # The triggers are written for PostgreSQL above, not translated.
    text = re.sub(r"CREATE TRIGGER .*?\nEND;\n\n?", "", text, flags=re.S)
    for line in text.splitlines(keepends=True):
        if line.startswith("--"):
            out.append(line.replace("(SQLite)", "(PostgreSQL, translated by pg/translate.py)"))
            continue
        code, sep, comment = line.partition("--")
        for k, v in TYPES.items():
            code = re.sub(r"\b%s\b" % k, v, code)
        code = code.replace("COLLATE NOCASE", "COLLATE nocase")
        # A quoted name keeps its case in PostgreSQL: lower case, as the unquoted ones fold.
        code = re.sub(r'"(\w+)"', lambda m: '"%s"' % m.group(1).lower(), code)
        # PostgreSQL defers only deferrable keys: the seed and the saves defer them all.
        code = REFERENCE.sub(r"\1 DEFERRABLE", code)
        out.append(code + sep + comment)
    result = "".join(out)
    if name.startswith("001"):
        marker = "-- Account types"
        result = result.replace(marker, FULL_NAME_TRIGGER + "\n" + marker, 1)
        result += ATTACHMENT_FILES
    return result


def main():
    check = "--check" in sys.argv
    stale = []
    for src in sorted(SOURCE.glob("0*.sql")):
        target = HERE / src.name
        text = translate(src.name, src.read_text(encoding="utf-8"))
        if check:
            if not target.exists() or target.read_text(encoding="utf-8") != text:
                stale.append(target.name)
        else:
            target.write_text(text, encoding="utf-8")
    if stale:
        print("out of date (run src/server/schema/pg/translate.py): " + ", ".join(stale))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
