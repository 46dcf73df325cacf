"""Reference model of the query generator, written in plain Python for the tests.

It follows the published definitions of SplitMix64 and xoshiro128++ (Blackman and Vigna) and
the generator's documented draw order, using Python integers (no overflow) so that it shares
no arithmetic tricks with the native code. Run it as a script to print the random-generator
vectors that tests/cpp/generator_test.cpp checks.
"""

MASK32 = (1 << 32) - 1
MASK64 = (1 << 64) - 1

STRING_LITERALS = ['"Alice"', '"Bob"', '"Carol"', '"Neo4j"', '"hello"']
PARAMETERS = ["$name", "$id", "$value", "$limit"]
QUERY_TYPES = [
    "match_return", "match_where_return", "create", "merge", "aggregation",
    "match_relationship", "create_relationship", "match_set", "match_delete",
    "with_chain", "distinct_return", "order_by", "unwind",
]


def splitmix64(seed, k):
    z = (seed + k * 0x9E3779B97F4A7C15) & MASK64
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK64
    return z ^ (z >> 31)


def rotl32(x, k):
    return ((x << k) | (x >> (32 - k))) & MASK32


class Xoshiro128pp:
    def __init__(self, state):
        self.s = list(state)

    @classmethod
    def from_seed(cls, seed):
        a, b = splitmix64(seed, 1), splitmix64(seed, 2)
        return cls([a & MASK32, a >> 32, b & MASK32, b >> 32])

    @classmethod
    def from_bytes(cls, data):
        if not any(data):
            return cls.from_seed(0)
        return cls([int.from_bytes(data[i:i + 4], "little") for i in range(0, 16, 4)])

    def draw32(self):
        s = self.s
        result = (rotl32((s[0] + s[3]) & MASK32, 7) + s[0]) & MASK32
        t = (s[1] << 9) & MASK32
        s[2] ^= s[0]
        s[3] ^= s[1]
        s[1] ^= s[2]
        s[0] ^= s[3]
        s[2] ^= t
        s[3] = rotl32(s[3], 11)
        return result

    def draw64(self):
        low = self.draw32()
        return low | (self.draw32() << 32)

    def below(self, n):
        p = self.draw32() * n
        result, lo = p >> 32, p & MASK32
        if lo > (1 << 32) - n:
            q = (self.draw32() * n) >> 32
            if lo + q >= 1 << 32:
                result += 1
        return result

    def between(self, a, b):
        n = b - a + 1
        p = self.draw64() * n
        r, lo = p >> 64, p & MASK64
        if lo > (1 << 64) - n:
            q = (self.draw64() * n) >> 64
            if lo + q >= 1 << 64:
                r += 1
        return a + r

    def pick(self, items):
        if not items:
            return None
        return items[self.below(len(items))]

    def distinct(self, length, amount):
        out = []
        for j in range(length - amount, length):
            t = self.below(j + 1)
            if t in out:
                out[out.index(t)] = j
            out.append(t)
        return out


class ReferenceGenerator:
    """nodes: {label: [props]}; relationships: {type: (source, target, [props])}."""

    def __init__(self, nodes, relationships, seed):
        self.labels = sorted(nodes)
        self.rel_types = sorted(relationships)
        self.endpoints = {t: (v[0], v[1]) for t, v in relationships.items()}
        self.label_props = {label: sorted(set(nodes[label])) for label in self.labels}
        self.rng = Xoshiro128pp.from_seed(seed)

    def label(self):
        chosen = self.rng.pick(self.labels)
        return "Node" if chosen is None else chosen

    def prop(self, label):
        return self.rng.pick(self.label_props.get(label, []))

    def limit(self):
        if self.rng.below(3) != 0:
            return ""
        return " LIMIT %d" % self.rng.between(1, 50)

    def scalar(self):
        c = self.rng.draw32() >> 30
        if c == 0:
            return STRING_LITERALS[self.rng.below(5)]
        if c == 1:
            return str(self.rng.between(1, 100))
        if c == 2:
            return "false" if self.rng.draw32() >> 31 else "true"
        return PARAMETERS[self.rng.draw32() >> 30]

    def string_value(self):
        if self.rng.below(3) != 0:
            return STRING_LITERALS[:4][self.rng.draw32() >> 30]
        return PARAMETERS[:3][self.rng.below(3)]

    def property_map(self, label):
        props = self.label_props.get(label, [])
        if not props:
            return ""
        count = 1 + self.rng.below(min(len(props), 3))
        indices = self.rng.distinct(len(props), count)
        return " {" + ", ".join(props[i] + ": " + self.scalar() for i in indices) + "}"

    def generate(self, kind):
        if kind not in QUERY_TYPES:
            raise ValueError("Generator error: Unknown query type: " + kind)
        return getattr(self, "_" + kind)()

    def _match_return(self):
        L = self.label()
        return "MATCH (n:%s) RETURN n%s" % (L, self.limit())

    def _match_where_return(self):
        L = self.label()
        P = self.prop(L)
        if P is None:
            return "MATCH (n:%s) RETURN n%s" % (L, self.limit())
        V = self.string_value()
        return "MATCH (n:%s) WHERE n.%s = %s RETURN n.%s%s" % (L, P, V, P, self.limit())

    def _create(self):
        L = self.label()
        return "CREATE (n:%s%s) RETURN n" % (L, self.property_map(L))

    def _merge(self):
        L = self.label()
        return "MERGE (n:%s%s) RETURN n" % (L, self.property_map(L))

    def _aggregation(self):
        L = self.label()
        P = self.prop(L)
        inner = "n" if P is None else "n." + P
        return "MATCH (n:%s) RETURN count(%s) AS result" % (L, inner)

    def _match_relationship(self):
        T = self.rng.pick(self.rel_types)
        if T is None:
            return "MATCH (n:%s) RETURN n" % self.label()
        S, G = self.endpoints[T]
        O = "OPTIONAL " if self.rng.draw32() < 0x40000000 else ""
        return "%sMATCH (a:%s)-[r:%s]->(b:%s) RETURN a, r, b" % (O, S, T, G)

    def _create_relationship(self):
        T = self.rng.pick(self.rel_types)
        if T is None:
            return "CREATE (n:%s) RETURN n" % self.label()
        S, G = self.endpoints[T]
        return "MATCH (a:%s),(b:%s) CREATE (a)-[r:%s]->(b) RETURN r" % (S, G, T)

    def _match_set(self):
        L = self.label()
        P = self.prop(L)
        if P is None:
            return "MATCH (n:%s) RETURN n" % L
        return "MATCH (n:%s) SET n.%s = %s RETURN n" % (L, P, self.string_value())

    def _match_delete(self):
        return "MATCH (n:%s) DETACH DELETE n" % self.label()

    def _with_chain(self):
        L = self.label()
        P = self.prop(L)
        value = "n" if P is None else "n." + P
        return "MATCH (n:%s) WITH %s AS val RETURN count(*)" % (L, value)

    def _distinct_return(self):
        L = self.label()
        P = self.prop(L)
        value = "n" if P is None else "n." + P
        return "MATCH (n:%s) RETURN DISTINCT %s%s" % (L, value, self.limit())

    def _order_by(self):
        L = self.label()
        P = self.prop(L)
        D = " DESC" if self.rng.draw32() >> 31 else ""
        M = self.limit()
        if P is None:
            return "MATCH (n:%s) RETURN n ORDER BY n%s" % (L, M)
        return "MATCH (n:%s) RETURN n ORDER BY n.%s%s%s" % (L, P, D, M)

    def _unwind(self):
        L = self.label()
        P = self.prop(L)
        k = 2 + self.rng.below(3)
        values = [self.scalar() for _ in range(k)]
        if P is not None:
            return "MATCH (n:%s) UNWIND n.%s AS item RETURN item" % (L, P)
        return "UNWIND [%s] AS item RETURN item" % ", ".join(values)


def _print_vectors():
    """The random-generator vectors used by the C++ tests (hex words, then decimal results)."""
    seeds = [0, 1, 42, MASK64]
    for seed in seeds:
        r = Xoshiro128pp.from_seed(seed)
        state = " ".join("0x%08x" % w for w in r.s)
        draws = ", ".join("0x%08x" % r.draw32() for _ in range(6))
        print("seed %d: state %s draw32 %s" % (seed, state, draws))
    for seed in seeds:
        r = Xoshiro128pp.from_seed(seed)
        print("seed %d draw64: %s" % (seed, ", ".join("0x%016x" % r.draw64() for _ in range(3))))
    for seed in seeds:
        for n in (1, 2, 3, 4, 5, 100, 0x80000001, 0xFFFFFFFF):
            r = Xoshiro128pp.from_seed(seed)
            results = [r.below(n) for _ in range(8)]
            print("seed %d below(%d): %s  next draw32 0x%08x" % (seed, n, results, r.draw32()))
    for seed in seeds:
        for a, b in ((1, 50), (1, 100), (0, 0), (-(1 << 62), 1 << 62)):
            r = Xoshiro128pp.from_seed(seed)
            results = [r.between(a, b) for _ in range(6)]
            print("seed %d between(%d, %d): %s  next draw32 0x%08x" % (seed, a, b, results, r.draw32()))
    for seed in seeds:
        for length, amount in ((1, 1), (3, 3), (5, 3), (10, 2), (4, 1)):
            r = Xoshiro128pp.from_seed(seed)
            results = [r.distinct(length, amount) for _ in range(4)]
            print("seed %d distinct(%d, %d): %s" % (seed, length, amount, results))
    # States chosen so that the first draw of below(n) lands in the correction branch: with
    # s0 = 0 the first output is rotl(s3, 7), and s3 = rotr((2^32 - 1) // n, 7) puts the low
    # half of the product above 2^32 - n. s1 and s2 then decide the second draw.
    crafted = [(3, 0, 0), (3, 0xFFFFFFFF, 0xFFFFFFFF), (5, 0, 0), (5, 0x12345678, 0x9ABCDEF0),
               (100, 0, 0), (100, 0x28003EF8, 0)]
    for n, s1, s2 in crafted:
        x = MASK32 // n
        s3 = ((x >> 7) | (x << 25)) & MASK32
        r = Xoshiro128pp([0, s1, s2, s3])
        print("state 0 0x%08x 0x%08x 0x%08x below(%d): %d  next draw32 0x%08x"
              % (s1, s2, s3, n, r.below(n), r.draw32()))


if __name__ == "__main__":
    _print_vectors()
