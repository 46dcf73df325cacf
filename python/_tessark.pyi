from collections.abc import Sequence
from typing import Any, Optional, final

__all__ = ["Schema", "Tessark", "ValidationResult", "CypherGenerator", "QueryInfo", "parse_query"]

@final
class Schema:
    def __init__(
        self,
        nodes: dict[str, Sequence[str]],
        relationships: dict[str, tuple[str, str, Sequence[str]]],
    ) -> None: ...
    @staticmethod
    def from_dict(d: dict[str, Any]) -> Schema:
        """Create a Schema from a plain Python dict (e.g. previously exported with ``to_dict()``).

        Example::

            d = {
                "nodes": {"Person": ["name", "age"], "Movie": ["title"]},
                "relationships": {"ACTED_IN": ("Person", "Movie", ["role"])},
            }
            schema = Schema.from_dict(d)"""
    @staticmethod
    def from_json(json_str: str) -> Schema:
        """Deserialise a Schema from a JSON string produced by ``to_json()``.

        Example::

            json_str = schema.to_json()
            schema2 = Schema.from_json(json_str)"""
    def node_labels(self) -> list[str]: ...
    def rel_types(self) -> list[str]: ...
    def has_node_label(self, label: str) -> bool: ...
    def has_rel_type(self, rel_type: str) -> bool: ...
    def node_properties(self, label: str) -> list[str]:
        """Return the list of properties declared for a node label."""
    def rel_properties(self, rel_type: str) -> list[str]:
        """Return the list of properties declared for a relationship type."""
    def rel_endpoints(self, rel_type: str) -> Optional[tuple[str, str]]:
        """Return `(src_label, tgt_label)` for a relationship type, or None if unknown."""
    def to_dict(self) -> dict[str, Any]:
        """Export the schema as a plain Python dict compatible with the Schema constructor."""
    def to_json(self) -> str:
        """Serialise the schema to a JSON string.

        The result can be stored, transmitted, and later restored via
        ``Schema.from_json()``.

        Example::

            json_str = schema.to_json()
            schema2 = Schema.from_json(json_str)
            assert schema2 == schema  # round-trip safe"""
    def merge(self, other: Schema) -> Schema:
        """Return a new Schema that is the union of *self* and *other*.

        * Node labels and relationship types from both schemas are combined.
        * When a label/type exists in both, the property sets are merged
          (union), so no declared property is lost.
        * The *other* schema's endpoint labels take precedence for
          relationship types that appear in both schemas.

        Example::

            s1 = Schema({"Person": ["name"]}, {"KNOWS": ("Person", "Person", [])})
            s2 = Schema({"Movie": ["title"]}, {"ACTED_IN": ("Person", "Movie", ["role"])})
            merged = s1.merge(s2)
            # merged has Person, Movie, KNOWS, ACTED_IN"""

@final
class Tessark:
    def __init__(self, schema: Schema) -> None: ...
    def validate(self, query: str) -> ValidationResult: ...
    def validate_batch(self, queries: Sequence[str]) -> list[ValidationResult]:
        """Validate multiple queries at once, returning one ValidationResult per query.

        The queries are validated in parallel on a thread pool, and the GIL is released
        for the duration of the batch, so other Python threads can run meanwhile.

        Example::

            results = validator.validate_batch([
                "MATCH (p:Person) RETURN p",
                "MATCH (p:BadLabel) RETURN p",
            ])
            for r in results:
                print(r.is_valid, r.errors)"""

@final
class ValidationResult:
    @property
    def is_valid(self) -> bool: ...
    @property
    def errors(self) -> list[str]:
        """All errors (syntax + semantic) combined."""
    @property
    def syntax_errors(self) -> list[str]:
        """Parse/syntax errors only."""
    @property
    def semantic_errors(self) -> list[str]:
        """Schema-level semantic errors only."""
    def __bool__(self) -> bool: ...
    def __len__(self) -> int: ...

@final
class CypherGenerator:
    def __init__(self, schema: Schema, seed: Optional[int] = None) -> None: ...
    def generate(self, query_type: str) -> str: ...
    def generate_batch(self, query_type: str, n: int) -> list[str]:
        """Generate *n* queries of the given type in a single call.

        Equivalent to calling :meth:`generate` *n* times but avoids per-call
        Python overhead.

        Parameters
        ----------
        query_type:
            One of the types returned by :meth:`supported_types`.
        n:
            Number of queries to generate.

        Returns
        -------
        list[str]
            Generated Cypher query strings.

        Raises
        ------
        ValueError
            If *query_type* is not supported."""
    @staticmethod
    def supported_types() -> list[str]: ...

@final
class QueryInfo:
    """Information extracted from a parsed query without a schema."""
    @property
    def is_valid(self) -> bool:
        """True if the query is syntactically valid."""
    @property
    def labels_used(self) -> list[str]:
        """Node labels referenced in the query."""
    @property
    def rel_types_used(self) -> list[str]:
        """Relationship types referenced in the query."""
    @property
    def properties_used(self) -> list[str]:
        """Property keys accessed in the query (e.g. ``["name", "age"]``)."""
    @property
    def errors(self) -> list[str]:
        """Syntax error messages (empty if valid)."""
    def __bool__(self) -> bool: ...

def parse_query(query: str) -> QueryInfo:
    """Parse a Cypher query and return structural information without requiring a schema.

    Example::

        info = parse_query("MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name")
        info.is_valid        # True
        info.labels_used     # ["Movie", "Person"]
        info.rel_types_used  # ["ACTED_IN"]
        info.properties_used # ["name"]"""
