"""Check Cypher graph queries against a graph schema.

The classes and `parse_query` come from the `_tessark` extension module::

    from tessark import Schema, Tessark
    schema = Schema({"Person": ["name"]}, {"KNOWS": ("Person", "Person", [])})
    result = Tessark(schema).validate("MATCH (p:Person) RETURN p.name")
"""

from _tessark import CypherGenerator, QueryInfo, Schema, Tessark, ValidationResult, parse_query

__version__ = "0.1.0"

__all__ = ["Schema", "Tessark", "ValidationResult", "CypherGenerator", "QueryInfo", "parse_query"]
