#include "tools/demo-service/sample_data.h"

#include <string>
#include <vector>

namespace NVelmora::NDemo {
namespace {

struct TJobSeed {
  const char* Slug;
  const char* Title;
  const char* Employer;
  const char* Country;
  const char* City;
  const char* Type;
  const char* Salary;
  const char* Badge;  // empty: no sponsorship offered
  const char* Posted;
  std::vector<std::string> Tags;
  const char* Summary;
  std::vector<std::string> Duties;
  std::vector<std::string> Requirements;
  std::vector<std::string> Benefits;
};

TJson MakeJob(int Id, const TJobSeed& Seed) {
  TJson Job = TJson::object();
  Job["id"] = Id;
  Job["slug"] = Seed.Slug;
  Job["title"] = Seed.Title;
  Job["employer_name"] = Seed.Employer;
  Job["country"] = Seed.Country;
  Job["city"] = Seed.City;
  Job["employment_type"] = Seed.Type;
  Job["salary"] = Seed.Salary;
  if (*Seed.Badge != '\0') {
    Job["sponsorship_badge"] = Seed.Badge;
  } else {
    Job["sponsorship_badge"] = nullptr;
  }
  Job["posted_at"] = Seed.Posted;
  Job["tags"] = Seed.Tags;
  Job["summary"] = Seed.Summary;
  Job["description"] = std::string(Seed.Summary) +
                       "\n\nYou will join an established team that has hired from abroad before and knows "
                       "the paperwork. Relocation questions are answered by a named contact, not a mailbox.";
  Job["responsibilities"] = Seed.Duties;
  Job["requirements"] = Seed.Requirements;
  Job["benefits"] = Seed.Benefits;
  Job["apply_url"] = std::string("https://careers.example.com/velmora/") + Seed.Slug;
  return Job;
}

} // namespace

TJson JobSummary(const TJson& Job) {
  TJson Summary = TJson::object();
  for (const char* Key : {"id", "slug", "title", "employer_name", "country", "city", "employment_type", "salary",
                          "sponsorship_badge", "posted_at", "tags", "summary", "apply_url"}) {
    Summary[Key] = Job.at(Key);
  }
  return Summary;
}

TSampleData MakeSampleData() {
  TSampleData Data;
  const std::vector<TJobSeed> Seeds = {
      {"registered-nurse-icu-dublin", "Registered Nurse, Intensive Care", "St. Brigid's University Hospital",
       "Ireland", "Dublin", "Full-time", "€42,000 – €54,000 a year", "Visa sponsorship", "2026-12-10",
       {"Healthcare", "Nursing", "Shift work"},
       "Care for critically ill adults in a 24-bed unit with a 1:1 or 1:2 nurse-to-patient ratio.",
       {"Assess, plan and deliver care for ventilated patients", "Work with the outreach team on deteriorating patients",
        "Mentor newly qualified nurses"},
       {"Nursing degree and registration eligibility with the Irish board", "Two years of acute or critical care",
        "IELTS 7.0 or OET grade B"},
       {"Critical Skills Employment Permit paid by the hospital", "Four weeks of free accommodation on arrival",
        "Funded postgraduate ICU course"}},
      {"backend-engineer-go-berlin", "Backend Engineer (Go)", "Lindwerk Logistics", "Germany", "Berlin", "Full-time",
       "€68,000 – €82,000 a year", "EU Blue Card", "2026-12-09", {"Software", "Go", "PostgreSQL"},
       "Build the routing services that plan 40,000 parcel deliveries a day across Germany and Poland.",
       {"Design and run Go services on Kubernetes", "Own features from design notes to production metrics",
        "Take part in a fair, paid on-call rota"},
       {"Three years building backend services", "Solid SQL and message queues", "English; German is a plus"},
       {"Blue Card and family visas handled by a relocation agency", "€3,000 moving allowance",
        "German lessons during working hours"}},
      {"electrician-journeyman-calgary", "Journeyperson Electrician", "Prairie Current Electric", "Canada", "Calgary",
       "Full-time", "CA$38 – CA$46 an hour", "LMIA approved", "2026-12-08", {"Trades", "Construction"},
       "Commercial fit-outs and service calls for offices, clinics and schools around Calgary.",
       {"Install and maintain commercial wiring and panels", "Read drawings and plan the day's work with the foreman",
        "Supervise one apprentice"},
       {"Recognised electrician qualification and five years of experience",
        "Willingness to sit the Alberta certification exam", "Valid driving licence"},
       {"LMIA already approved for this position", "Company van and tools", "Overtime at time and a half"}},
      {"data-analyst-amsterdam", "Data Analyst, Pricing", "Noordhaven Travel", "Netherlands", "Amsterdam", "Full-time",
       "€52,000 – €63,000 a year", "Highly skilled migrant", "2026-12-07", {"Data", "SQL", "Python"},
       "Find out what travellers will pay and help the pricing team set fares for 300 routes.",
       {"Build dashboards the commercial team uses every morning", "Design and read A/B tests on fares",
        "Clean and model booking data in dbt"},
       {"Two years of analytics work with SQL", "Python or R for analysis", "Clear writing in English"},
       {"Recognised sponsor: the 30% tax ruling may apply", "Hybrid: two office days a week",
        "Annual travel budget of €750"}},
      {"aged-care-worker-brisbane", "Aged Care Support Worker", "Bayview Residential Care", "Australia", "Brisbane",
       "Full-time", "A$31 – A$35 an hour", "Employer sponsored (482)", "2026-12-06", {"Healthcare", "Care"},
       "Support residents with daily living in a 90-bed home close to the river.",
       {"Help residents with personal care, meals and mobility", "Record care notes accurately",
        "Take part in activities and outings"},
       {"Certificate III in Individual Support or equivalent", "One year of paid care work", "IELTS 5.0 or higher"},
       {"Sponsorship with a pathway to permanent residence", "Paid training and first aid course",
        "Penalty rates for weekends"}},
      {"chef-de-partie-london", "Chef de Partie", "The Copper Kettle Group", "United Kingdom", "London", "Full-time",
       "£32,000 – £35,500 a year", "Skilled Worker visa", "2026-12-05", {"Hospitality", "Kitchen"},
       "Run the grill section in a busy 120-cover brasserie in Clerkenwell.",
       {"Prepare and cook your section to the head chef's standard", "Train commis chefs",
        "Keep food safety records"},
       {"Three years in a professional kitchen", "Level 2 food hygiene", "Calm under pressure"},
       {"Certificate of Sponsorship and visa fee covered", "Staff meals on every shift", "28 days of holiday"}},
      {"frontend-developer-stockholm", "Frontend Developer (TypeScript)", "Fjällsol Energy", "Sweden", "Stockholm",
       "Full-time", "SEK 48,000 – 58,000 a month", "Work permit", "2026-12-04", {"Software", "TypeScript", "React"},
       "Make the app that 200,000 households use to follow and lower their electricity use.",
       {"Build features in TypeScript and React", "Care for accessibility and performance budgets",
        "Pair with designers on user research"},
       {"Three years of frontend work", "Strong HTML and CSS", "Experience with design systems"},
       {"Work permit and family permits handled", "Six weeks of holiday", "Occupational pension"}},
      {"dairy-farm-assistant-waikato", "Dairy Farm Assistant", "Greenhollow Farms", "New Zealand", "Hamilton",
       "Full-time", "NZ$29 – NZ$32 an hour", "Accredited employer", "2026-12-03", {"Agriculture", "Farming"},
       "Milk, feed and care for a 650-cow herd on a family-run farm in the Waikato.",
       {"Milk on a rotary shed", "Rear calves during spring", "Maintain fences, races and machinery"},
       {"One season of dairy experience", "Happy to work early mornings and weekends", "Full driving licence"},
       {"Accredited Employer Work Visa", "Three-bedroom house on the farm at low rent", "Farm vehicle provided"}},
      {"hotel-front-office-dubai", "Front Office Agent", "Al Marsa Hotels", "United Arab Emirates", "Dubai",
       "Full-time", "AED 5,500 a month plus housing", "Employment visa", "2026-12-02", {"Hospitality", "Hotels"},
       "Welcome guests at a 400-room beach resort and solve their problems before they become complaints.",
       {"Check guests in and out", "Handle requests and complaints at the desk and by phone",
        "Upsell room upgrades"},
       {"One year at a hotel front desk", "Fluent English; Arabic or Russian is a plus", "Friendly and composed"},
       {"Visa, medical insurance and flights paid", "Shared staff accommodation and transport", "Annual return ticket"}},
      {"mechanical-engineer-osaka", "Mechanical Design Engineer", "Kansai Precision Works", "Japan", "Osaka",
       "Full-time", "¥6,000,000 – ¥7,800,000 a year", "Engineer visa", "2026-12-01", {"Engineering", "CAD"},
       "Design fixtures and test rigs for robotic arms used in car factories.",
       {"Model parts and assemblies in CAD", "Run tolerance and stress calculations", "Support prototype tests"},
       {"Degree in mechanical engineering", "Three years of design work", "Japanese at N3 or willingness to learn"},
       {"Engineer visa sponsorship", "Company housing for the first year", "Japanese lessons paid"}},
      {"customer-success-lisbon", "Customer Success Manager", "Marevia Software", "Portugal", "Lisbon", "Full-time",
       "€36,000 – €44,000 a year", "", "2026-11-29", {"Customer success", "SaaS", "Remote friendly"},
       "Help 60 mid-sized customers get value from a scheduling product used by clinics.",
       {"Run onboarding and quarterly reviews", "Spot accounts at risk early", "Feed customer needs to product"},
       {"Two years in customer success or account management", "EU work authorisation", "English and Portuguese"},
       {"Remote within Portugal", "Private health insurance", "Learning budget"}},
      {"warehouse-team-lead-rotterdam", "Warehouse Team Lead", "Havenpoort Distribution", "Netherlands", "Rotterdam",
       "Full-time", "€3,100 – €3,600 a month", "", "2026-11-27", {"Logistics", "Warehouse"},
       "Lead a shift of 14 pickers in a temperature-controlled food warehouse.",
       {"Plan the shift and assign work", "Keep safety and hygiene standards", "Coach and onboard new staff"},
       {"Two years of warehouse experience, one as a lead", "EU work authorisation", "Forklift certificate"},
       {"Shift allowance of 20%", "Bike or public transport paid", "Permanent contract after six months"}},
  };
  int Id = 101;
  for (const TJobSeed& Seed : Seeds) {
    Data.Jobs.push_back(MakeJob(Id++, Seed));
  }

  Data.BlogPosts = TJson::parse(R"JSON([
    {"id": 31, "slug": "read-a-job-offer-before-you-sign", "title": "How to read a job offer from abroad before you sign",
     "category": "Guides", "author": "Mireille Dufour", "published_at": "2026-12-08", "read_minutes": 6,
     "excerpt": "Salary, hours, notice period, who pays the visa: the seven lines of an offer that matter most.",
     "body": "An offer letter is the first document you should read slowly. Check that the gross salary is stated per year or per month, and in which currency.\n\nLook for who pays the visa and relocation costs, and whether you must repay them if you leave early. A fair clawback shrinks over time; an unfair one keeps you tied to the employer.\n\nFinally, ask for the contract in a language you read well. A reputable employer will not mind."},
    {"id": 30, "slug": "blue-card-2026-changes", "title": "EU Blue Card in 2026: lower salary thresholds, faster decisions",
     "category": "Visas", "author": "Tobias Rehn", "published_at": "2026-12-02", "read_minutes": 5,
     "excerpt": "Several countries lowered the salary bar for shortage occupations. Here is what changed and for whom.",
     "body": "The Blue Card salary threshold for shortage occupations and recent graduates is now lower in several member states.\n\nProcessing times also dropped where employers use the fast-track procedure. Ask your future employer whether they are registered for it."},
    {"id": 29, "slug": "first-month-in-a-new-country", "title": "Your first month in a new country: a checklist",
     "category": "Life abroad", "author": "Nadia Haddad", "published_at": "2026-11-24", "read_minutes": 7,
     "excerpt": "Registration, bank account, health insurance, tax number: the order that saves you the most queues.",
     "body": "Most countries ask you to register your address within a few weeks. Do that first: the bank and the tax office usually want the registration certificate.\n\nKeep digital copies of every document in one folder and carry printed copies to appointments."},
    {"id": 28, "slug": "nursing-registration-ireland", "title": "Nursing registration in Ireland, step by step",
     "category": "Healthcare", "author": "Mireille Dufour", "published_at": "2026-11-15", "read_minutes": 8,
     "excerpt": "From the application to the board to your first shift: documents, timelines and costs.",
     "body": "Start the registration before you apply for jobs: it takes three to five months.\n\nYou will need your transcripts, proof of registration at home and an English test result."}
  ])JSON");

  Data.CommunityPosts = TJson::parse(R"JSON([
    {"id": 512, "title": "Calgary electricians: how long did your LMIA job take to start?",
     "body": "My offer came through last week. The employer says four months. Is that realistic?",
     "author": {"name": "Rafael Souza", "country": "Brazil"}, "tag": "Canada", "created_at": "2026-12-10T18:20:00Z",
     "replies": 7, "likes": 12},
    {"id": 511, "title": "Accommodation tips for Dublin on a nurse's salary",
     "body": "Arriving in February. Which areas are reachable from the hospital without a car?",
     "author": {"name": "Grace Mensah", "country": "Ghana"}, "tag": "Ireland", "created_at": "2026-12-09T09:05:00Z",
     "replies": 15, "likes": 31},
    {"id": 510, "title": "Passed IELTS with 7.5 after two attempts, what worked for me",
     "body": "Writing task 2 every day for three weeks, timed. Happy to share my notes.",
     "author": {"name": "Priya Raman", "country": "India"}, "tag": "Language tests",
     "created_at": "2026-12-07T21:40:00Z", "replies": 22, "likes": 64}
  ])JSON");

  Data.ScamAlerts = TJson::parse(R"JSON([
    {"id": 77, "title": "Fake recruiters asking for a 'visa processing fee' on messaging apps", "severity": "high",
     "region": "Worldwide", "reported_at": "2026-12-09",
     "summary": "People posing as recruiters for Gulf hotels ask for payment before an interview. Real employers never charge for a visa.",
     "red_flags": ["Payment requested before any interview", "Contact only through messaging apps", "Offer far above market pay"],
     "advice": "Do not pay. Report the number and check the employer on its official website."},
    {"id": 76, "title": "Cloned careers pages of Canadian farms", "severity": "medium", "region": "Canada",
     "reported_at": "2026-12-03",
     "summary": "Copies of real farm websites publish jobs with an 'LMIA fee'. The domain differs by one letter.",
     "red_flags": ["Domain name slightly misspelled", "Fees for the LMIA, which the employer must pay"],
     "advice": "Search the employer's name and compare the address bar with the official domain."},
    {"id": 75, "title": "Certificate of Sponsorship sold for cash", "severity": "high", "region": "United Kingdom",
     "reported_at": "2026-11-26",
     "summary": "Agents offer UK sponsorship certificates for thousands of pounds. Buying one can get you banned from future visas.",
     "red_flags": ["A certificate offered without a real job", "Payment to a personal account"],
     "advice": "A Certificate of Sponsorship is free for the worker. Report the agent."},
    {"id": 74, "title": "Training-course deposits for 'guaranteed' care jobs", "severity": "low", "region": "Australia",
     "reported_at": "2026-11-18",
     "summary": "Some colleges promise a sponsored job after a paid course. No course can guarantee sponsorship.",
     "red_flags": ["'Guaranteed' job or visa", "Deposit needed to hold a place"],
     "advice": "Check the college's registration and ask employers directly."}
  ])JSON");

  Data.Courses = TJson::parse(R"JSON([
    {"id": 9, "slug": "ielts-academic-crash-course", "title": "IELTS Academic in Six Weeks", "provider": "Velmora Academy",
     "level": "Intermediate", "duration": "6 weeks", "format": "Online, live classes", "price": "Free", "language": "English",
     "summary": "Timed practice for all four parts, with feedback on two essays a week.",
     "url": "https://learn.example.com/velmora/ielts-six-weeks"},
    {"id": 8, "slug": "german-a1-for-work", "title": "German A1 for Work", "provider": "Brücke Sprachschule",
     "level": "Beginner", "duration": "10 weeks", "format": "Online, self-paced", "price": "€89", "language": "German",
     "summary": "The German you need at the registration office, the bank and your first week at work.",
     "url": "https://learn.example.com/velmora/german-a1-work"},
    {"id": 7, "slug": "cv-for-international-employers", "title": "A CV That International Employers Read",
     "provider": "Velmora Academy", "level": "All levels", "duration": "2 hours", "format": "Video lessons",
     "price": "Free", "language": "English",
     "summary": "Format, length, photos or not, and how to show experience from another country.",
     "url": "https://learn.example.com/velmora/cv-international"},
    {"id": 6, "slug": "forklift-licence-prep", "title": "Forklift Licence Preparation", "provider": "SafeLift Training",
     "level": "Beginner", "duration": "3 days", "format": "In person (Rotterdam)", "price": "€420", "language": "English, Dutch",
     "summary": "Theory and practical hours toward a recognised forklift certificate.",
     "url": "https://learn.example.com/velmora/forklift-prep"}
  ])JSON");
  return Data;
}

} // namespace NVelmora::NDemo
