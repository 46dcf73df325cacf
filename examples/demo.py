"""Tessark demo: a schema from a dict, its lookups and exchange forms; then extraction,
generation and the command line (each section is one function, run at the bottom)."""


# --- A schema built from dictionaries: lookups, text form, dict and JSON forms, merge ----------
def demo_schema():
    from _tessark import Schema

    print("== schema ==")
    schema = Schema(
        {"Person": ["name", "born"], "Movie": ["title", "released"]},
        {"ACTED_IN": ("Person", "Movie", ["roles"]), "DIRECTED": ("Person", "Movie", [])},
    )
    print(repr(schema))
    print("labels:               ", schema.node_labels())
    print("relationship types:   ", schema.rel_types())
    print("Person properties:    ", schema.node_properties("Person"))
    print("ACTED_IN properties:  ", schema.rel_properties("ACTED_IN"))
    print("ACTED_IN endpoints:   ", schema.rel_endpoints("ACTED_IN"))
    print("has label 'person'?   ", schema.has_node_label("person"))
    print("dict form:            ", schema.to_dict())
    text = schema.to_json()
    print("JSON form:            ", text)
    again = Schema.from_json(text)
    print("JSON round trip keeps the labels:", again.node_labels() == schema.node_labels())

    reviews = Schema({"Person": ["email"], "Review": ["stars"]},
                     {"REVIEWED": ("Person", "Movie", ["summary"])})
    merged = schema.merge(reviews)
    print("merged:               ", repr(merged))
    print("merged Person:        ", merged.node_properties("Person"))

    for bad in ('{"nodes":{}}', '{"nodes":{"Person":"name"},"relationships":{}}'):
        try:
            Schema.from_json(bad)
        except ValueError as error:
            print(f"from_json({bad!r}) -> ValueError: {error}")
    try:
        Schema({"Person": "name"}, {})
    except TypeError as error:
        print(f"Schema({{'Person': 'name'}}, {{}}) -> TypeError: {error}")


# --- The command-line checker on the bundled example files ---------------------------
def demo_cli():
    import os
    import subprocess
    import sys
    from pathlib import Path

    examples = Path(__file__).resolve().parent
    # The commands run inside examples/, so the module search path is made absolute.
    paths = [str(examples.parent / "python")] + os.environ.get("PYTHONPATH", "").split(os.pathsep)
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(os.path.abspath(p) for p in paths if p))

    def tessark(*args, stdin=None):
        shown = " ".join(a if " " not in a else repr(a) for a in args)
        print(f"\n$ tessark {shown}", flush=True)
        proc = subprocess.run([sys.executable, "-m", "tessark", *args], cwd=examples, env=env,
                              input=stdin, text=True, capture_output=True)
        print(proc.stdout + proc.stderr, end="")
        print(f"(exit status {proc.returncode})")
        return proc.stdout

    print("\n== command line ==")
    tessark("check", "--schema", "movies.json", "valid.cypher")
    tessark("check", "--schema", "movies.json", "faulty.cypher")
    tessark("extract", "valid.cypher")
    batch = tessark("generate", "--schema", "movies.json", "--type", "all", "-n", "13", "--seed", "7")
    print("\n# the generated batch, checked:", end="")
    tessark("check", "--schema", "movies.json", "-", stdin=";\n".join(batch.splitlines()))
    tessark("schema", "movies.json", "reviews.json")


# --- Validation against a schema: single queries, then a parallel batch ------------------
def demo_validation():
    from pathlib import Path

    from _tessark import Schema, Tessark

    print("\n== validation (Tessark) ==")
    schema = Schema.from_json((Path(__file__).resolve().parent / "movies.json").read_text())
    validator = Tessark(schema)
    queries = [
        "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name, m.title",
        "MATCH (p:Persn) RETURN p",                       # misspelt label: a suggestion
        "MATCH (m:Movie)-[:ACTED_IN]->(p:Person) RETURN p",  # endpoints the wrong way round
        "MATCH (p:Person) RETURN p.titel, q",             # unknown property, unbound variable
        "MATCH (n) WITH n.name AS name RETURN n",         # WITH ends the scope of n
        "MATCH (p:Person RETURN p",                       # a syntax error
    ]
    for query in queries:
        result = validator.validate(query)
        print(f"\n{query}\n  {result!r}")
        for message in result.syntax_errors:
            print("  syntax:   " + message.replace("\n", "\n            "))
        for message in result.semantic_errors:
            print("  semantic: " + message)

    results = validator.validate_batch(queries * 1000)
    valid = sum(1 for r in results if r)
    print(f"\nvalidate_batch of {len(results)} queries on the thread pool: {valid} valid, "
          f"{len(results) - valid} with errors, same order as the input: "
          f"{[r.errors for r in results[:len(queries)]] == [validator.validate(q).errors for q in queries]}")


# --- Extraction without a schema: the names a query mentions -------------------------
def demo_extraction():
    from _tessark import parse_query

    print("\n== names used by a query (parse_query) ==")
    queries = [
        "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name, m.title",
        "MATCH (a:Person {name: 'Ann'})-[:KNOWS|FOLLOWS]-(b) WHERE b.age > 30 RETURN b",
        "MATCH (n:Movie) WITH n WHERE n.year > 2000 RETURN n.title UNION MATCH (s:Series) RETURN s.title",
        "MATCH (p:Person RETURN p",  # a syntax error is reported, not raised
    ]
    for query in queries:
        info = parse_query(query)
        print(f"\n{query}")
        if info:
            print(f"  labels:     {info.labels_used}")
            print(f"  rel types:  {info.rel_types_used}")
            print(f"  properties: {info.properties_used}")
        else:
            print("  " + info.errors[0].replace("\n", "\n  "))
    print(f"\n{parse_query('RETURN 1')!r}")


# --- Random queries for the example schema, each checked against it -------------------
def demo_generation():
    from pathlib import Path

    from _tessark import CypherGenerator, Schema, Tessark

    print("\n== generated queries (CypherGenerator, seed 7), validated ==")
    schema = Schema.from_json((Path(__file__).resolve().parent / "movies.json").read_text())
    generator = CypherGenerator(schema, seed=7)
    validator = Tessark(schema)
    for query_type in CypherGenerator.supported_types():
        query = generator.generate(query_type)
        verdict = "valid" if validator.validate(query).is_valid else "INVALID"
        print(f"  {query_type:<20} {verdict:<8} {query}")
    print(f"  a batch of three: {generator.generate_batch('match_where_return', 3)}")


demo_schema()
demo_validation()
demo_extraction()
demo_generation()
demo_cli()
