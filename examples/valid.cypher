// Queries that fit examples/movies.json.
MATCH (p:Person {name: 'Keanu Reeves'})-[:ACTED_IN]->(m:Movie)
RETURN m.title, m.released
ORDER BY m.released DESC;

MATCH (m:Movie)-[:IN_GENRE]->(g:Genre)
WHERE m.tagline CONTAINS ';'          /* a semicolon inside a string is no separator */
RETURN g.name, count(m) AS movies;

MATCH (a:Person)-[k:KNOWS]->(b:Person)
WHERE k.since > 2000
WITH a, b
RETURN a.name, b.name;

CREATE (m:Movie {title: "The Matrix; Reloaded", released: 2003})
RETURN m
