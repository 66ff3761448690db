# Rows of the demo business database as SQL INSERT statements: articles, places, customers,
# countries, and goods-issue and goods-receipt documents with their lines. Deterministic (fixed
# seed), so every demo holds the same data. Variables: issues, receipts (document counts).
function q(s) { gsub(/'/, "''", s); return "'" s "'" }
function qn(s) { return s == "" ? "NULL" : q(s) }
function pick(n) { return 1 + int(rand() * n) }
function date(i,   m, d) { m = 1 + int((i - 1) / 28) % 12; d = 1 + (i * 7) % 28; return sprintf("2025-%02d-%02d", m, d) }
function money(lo, hi) { return sprintf("%.2f", lo + rand() * (hi - lo)) }

BEGIN {
  srand(20250314)
  if (issues == "") issues = 240
  if (receipts == "") receipts = 120

  na = split("Čokolada mlečna 100 g|Kava mleta Žito 250 g|Med cvetlični 900 g|Bučno olje 0,5 l|" \
             "Šumeče tablete C 20 kosov|Žebelj pocinkan 3 mm|Vijak M8 x 40 z matico|Škatla kartonska 40 x 30 x 20|" \
             "Čistilo za steklo 750 ml|Rokavice zaščitne, velikost 9|Keramična ploščica 30 x 30 bež|Lepilo za ploščice 25 kg|" \
             "Žarnica LED E27 9 W|Podaljšek 3-vtični 5 m|Stikalo enopolno podometno|Kabel PVC 3 x 1,5 mm2 - kolut 100 m|" \
             "Sveča nagrobna rdeča|Čaj planinski 20 vrečk|Sok jabolčni 1 l|Mineralna voda 1,5 l|" \
             "Papir pisarniški A4 80 g|Svinčnik grafitni HB|Zvezek črtasti A5|Škarje pisarniške 21 cm|" \
             "Vrtna lopata s kovinskim ročajem|Grablje vrtne 14 zob|Zalivalka plastična 10 l|Semena solate ledenke|" \
             "Gnojilo za paradižnik 1 kg|Žaga ročna za les 500 mm|Kladivo 500 g s fiberglas ročajem|Izvijač ploščati 5,5 mm|" \
             "Ključ viličasti 13/17|Merilni trak 5 m|Libela aluminijasta 60 cm|Brusni papir P120, 10 listov|" \
             "Barva notranja bela 15 l|Valjček za barvanje 25 cm|Čopič ploščati 50 mm|Folija zaščitna 4 x 5 m", art, "|")
  print "INSERT INTO MS (Ident, Naziv, CarTarifa, DimTezaBruto) VALUES"
  for (i = 1; i <= na; i++) {
    ident[i] = sprintf("ART-%04d", i * 7)
    tariff = sprintf("%08d", 10000000 + int(rand() * 89999999))
    printf "  (%s, %s, %s, %s)%s\n", q(ident[i]), q(art[i]), (i % 13 == 0 ? "NULL" : q(tariff)),
           sprintf("%.3f", 0.05 + rand() * 30), (i < na ? "," : ";")
  }

  np = split("1000 Ljubljana|2000 Maribor|3000 Celje|4000 Kranj|5000 Nova Gorica|6000 Koper|8000 Novo mesto|" \
             "9000 Murska Sobota|4220 Škofja Loka|8340 Črnomelj|3310 Žalec|3230 Šentjur|2250 Ptuj|3320 Velenje|" \
             "1230 Domžale|1241 Kamnik", place, "|")
  print "INSERT INTO Posta (Posta, Naziv) VALUES"
  for (i = 1; i <= np; i++) {
    post[i] = substr(place[i], 1, 4)
    printf "  (%s, %s)%s\n", q(post[i]), q(substr(place[i], 6)), (i < np ? "," : ";")
  }

  ns = split("Čebelarstvo Žagar d.o.o.|Gradbeništvo Kovač s.p.|Trgovina Šuštar d.o.o.|Mizarstvo Žnidaršič s.p.|" \
             "Kmetija Čretnik|Avtoservis Štrukelj d.o.o.|Vrtnarstvo Čuk s.p.|Elektro Žužek d.o.o.|" \
             "Pekarna Škerjanc d.o.o.|Gostilna Pri Šimnu|Ključavničarstvo Kožar s.p.|Papirnica Čebulj d.o.o.|" \
             "Steklarstvo Šinkovec s.p.|Vinotoč Žerjav|Inštalacije Koščak d.o.o.|Transport Čeh s.p.|" \
             "Lesna industrija Šoštanj d.d.|Železnina Ožbolt d.o.o.", cust, "|")
  nt = split("Šmartinska cesta|Cesta na Brdo|Ulica heroja Šlandra|Tržaška cesta|Čopova ulica|Žabjak|" \
             "Partizanska cesta|Šolska ulica|Cankarjeva ulica|Kidričeva cesta", street, "|")
  print "INSERT INTO Subjekt (Sifra, Naziv, Naslov, Posta, Drzava) VALUES"
  for (i = 1; i <= ns; i++)
    printf "  (%s, %s, %s, %s, 'SI')%s\n", q(sprintf("K%04d", i)), q(cust[i]),
           q(street[pick(nt)] " " pick(160)), q(post[pick(np)]), (i < ns ? "," : ";")

  print "INSERT INTO Drzava (Poreklo, Naziv, CarinskaSkupnost) VALUES"
  print "  ('SI', 'Slovenija', 'D'), ('DE', 'Nemčija', 'D'), ('AT', 'Avstrija', 'D'), ('IT', 'Italija', 'D'),"
  print "  ('HR', 'Hrvaška', 'D'), ('CN', 'Kitajska', 'N'), ('TR', 'Turčija', 'N'), ('CH', 'Švica', 'N');"
  split("SI DE AT IT HR CN TR CH", origin, " ")
  split("Dobavitelj GmbH|Lieferant Österreich GmbH|Fornitore Italia S.r.l.|Dobavljač d.o.o.|Shenzhen Trading Co.", sup, "|")

  # Goods issue ("3" + year + number) to the customers; goods receipt ("1" + year + number).
  for (t = 0; t < 2; t++) {
    count = t == 0 ? issues : receipts
    for (i = 1; i <= count; i++) {
      key = (t == 0 ? "3" : "1") sprintf("2025%06d", i)
      day = date(t == 0 ? i : i * 2)
      partner = t == 0 ? cust[pick(ns)] : sup[pick(5)]
      printf "INSERT INTO Promet (Kljuc, Datum, Sifra1, Sifra2, Dokument1, Valuta, Prejemnik) VALUES (%s, %s, %s, %s, %s, %s, %s);\n",
             q(key), q(day), q(t == 0 ? "IZ" : "PR"), q(sprintf("%02d", pick(9))), q(sprintf("DOK-%05d", i + 100 * t)),
             (t == 1 && i % 17 == 0 ? "NULL" : q("EUR")), q(partner)
      lines = pick(8)
      printf "INSERT INTO PrometPoz (Kljuc, Poz, Ident, Kolicina, ProdCena, CenaZaVred, StevPak, TipIzjavePoreklo, Poreklo, Datum) VALUES\n"
      for (p = 1; p <= lines; p++) {
        price = money(0.5, 180)
        o = t == 0 ? "SI" : origin[1 + pick(7)]
        printf "  (%s, %d, %s, %d, %s, %s, %d, %s, %s, %s)%s\n", q(key), p, q(ident[pick(na)]), pick(400), price, price,
               pick(20), (t == 1 ? qn(p % 3 == 0 ? "" : "EUR") : "NULL"), q(o), q(day), (p < lines ? "," : ";")
      }
    }
  }

  print "INSERT INTO BrintelIndex (TableName, FieldsName) VALUES"
  print "  ('Promet', 'Kljuc'), ('PrometPoz', 'Kljuc,Poz'), ('MS', 'Ident'), ('Subjekt', 'Sifra');"
}
