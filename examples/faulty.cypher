// Queries with problems: each one is reported as FILE:LINE:COL: message.
MATCH (p:Persn) RETURN p.name;

MATCH (p:Person)-[:ACTED]->(m:Movie)
RETURN m.title;

MATCH (m:Movie) RETURN m.budget;

MATCH (p:Person) RETURN q;

MATCH (p:Person
RETURN p;

MATCH (g:Genre)-[:ACTED_IN]->(m:Movie) RETURN m
