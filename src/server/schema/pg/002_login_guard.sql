-- Vexa application server, schema version 2: failed logins.
--
-- One row per login name that has failed since its last success, whether a user of that
-- name exists or not: a lock that only existing names got would tell which names exist.
-- LockedUntil is UTC in ISO 8601 with milliseconds; NULL while not locked.

CREATE TABLE LoginFailure (
    UserCode    VARCHAR(40) NOT NULL PRIMARY KEY COLLATE nocase,
    Failures    INTEGER     NOT NULL,
    LockedUntil VARCHAR(30)
);
